// CountingDelegate: stands in front of a list's delegate for a test and counts what the list asks
// of it: the rows it paints and the row sizes it asks for. Everything is handed on to the delegate
// it fronts (row parts included), which the list gets back when the counter goes.
#pragma once

#include <QAbstractItemDelegate>
#include <QAbstractItemView>
#include <QPointer>

#include "app/ui/RowParts.h"

namespace veldo::testsupport {

class CountingDelegate final : public QAbstractItemDelegate, public ui::RowPartsDelegate
{
public:
    explicit CountingDelegate(QAbstractItemView& list) : m_list(&list), m_inner(list.itemDelegate())
    {
        connect(m_inner, &QAbstractItemDelegate::sizeHintChanged, this,
                &QAbstractItemDelegate::sizeHintChanged);
        list.setItemDelegate(this);
    }
    ~CountingDelegate() override
    {
        if (m_list && m_inner)
            m_list->setItemDelegate(m_inner);
    }
    CountingDelegate(const CountingDelegate&) = delete;
    CountingDelegate& operator=(const CountingDelegate&) = delete;

    int rowsPainted() const { return m_rowsPainted; }
    int sizesAsked() const { return m_sizesAsked; }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        ++m_rowsPainted;
        m_inner->paint(painter, option, index);
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        ++m_sizesAsked;
        return m_inner->sizeHint(option, index);
    }
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override
    {
        return m_inner->editorEvent(event, model, option, index);
    }
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override
    {
        return m_inner->helpEvent(event, view, option, index);
    }
    QRect partRect(const QStyleOptionViewItem& option, const QModelIndex& index,
                   ui::RowPart part) const override
    {
        const auto* parts = dynamic_cast<const ui::RowPartsDelegate*>(m_inner.data());
        return parts ? parts->partRect(option, index, part) : QRect();
    }

private:
    QPointer<QAbstractItemView> m_list;
    QPointer<QAbstractItemDelegate> m_inner;
    mutable int m_rowsPainted = 0;
    mutable int m_sizesAsked = 0;
};

} // namespace veldo::testsupport
