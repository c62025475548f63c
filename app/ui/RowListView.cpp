// The painted rows' keyboard actions and accessible elements.
#include "app/ui/RowListView.h"

#include <algorithm>
#include <utility>

#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QWindow>

#include "base/CompilerWarnings.h"

namespace veldo::ui {

namespace {

constexpr int kSlots = 4;

int slotOf(RowPart part)
{
    return 1 + static_cast<int>(part);
}

QString stringRole(const QModelIndex& index, int role)
{
    return index.data(role).toString();
}

bool hasCheckState(const QModelIndex& index)
{
    return index.data(Qt::CheckStateRole).isValid();
}

bool isChecked(const QModelIndex& index)
{
    return index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
}

QRect toGlobal(const RowListView& view, const QRect& rect)
{
    return QRect(view.viewport()->mapToGlobal(rect.topLeft()), rect.size());
}

// Shared by a row and its parts: the view, the row and the model index.
class RowElement : public QAccessibleInterface
{
public:
    RowElement(const RowListView* view, int row) : m_view(view), m_row(row) {}

    bool isValid() const override
    {
        return m_view && m_view->model() && m_row < m_view->model()->rowCount();
    }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return m_view ? m_view->window()->windowHandle() : nullptr; }
    void setText(QAccessible::Text, const QString&) override {}

    const RowListView* view() const { return m_view; }
    int row() const { return m_row; }

protected:
    QModelIndex index() const
    {
        return isValid() ? m_view->model()->index(m_row, 0) : QModelIndex();
    }

    QPointer<const RowListView> m_view;
    int m_row;
};

class PartAccessible final : public RowElement, public QAccessibleActionInterface
{
public:
    PartAccessible(const RowListView* view, int row, RowPart part)
        : RowElement(view, row), m_part(part)
    {
    }

    QAccessibleInterface* parent() const override
    {
        return m_view ? m_view->rowAccessible(m_row) : nullptr;
    }
    int childCount() const override { return 0; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }

    QString text(QAccessible::Text t) const override
    {
        if (t != QAccessible::Name || !isValid())
            return {};
        switch (m_part) {
        case RowPart::checkbox:
            return stringRole(index(), Qt::AccessibleTextRole);
        case RowPart::lock:
            return stringRole(index(), RowPartRoles::lockLabel);
        case RowPart::reveal:
            return stringRole(index(), RowPartRoles::revealName);
        }
        return {};
    }
    QRect rect() const override
    {
        return isValid() ? toGlobal(*m_view, m_view->partRect(m_row, m_part)) : QRect();
    }
    QAccessible::Role role() const override
    {
        switch (m_part) {
        case RowPart::checkbox:
            return QAccessible::CheckBox;
        case RowPart::lock:
            return QAccessible::Graphic;
        case RowPart::reveal:
            return QAccessible::Button;
        }
        return QAccessible::NoRole;
    }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        if (m_part == RowPart::checkbox) {
            s.checkable = true;
            s.checked = isChecked(index());
        }
        VELDO_GCC12_IGNORE("-Wnull-dereference")
        s.invisible = !m_view->isVisible();
        s.offscreen = !m_view->viewport()->rect().intersects(m_view->partRect(m_row, m_part));
        VELDO_GCC12_IGNORE_END
        return s;
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ActionInterface && m_part != RowPart::lock)
            return static_cast<QAccessibleActionInterface*>(this);
        return nullptr;
    }
    QStringList actionNames() const override
    {
        if (m_part == RowPart::checkbox)
            return {pressAction(), toggleAction()};
        if (m_part == RowPart::reveal)
            return {pressAction()};
        return {};
    }
    void doAction(const QString& name) override
    {
        if (!isValid() || !actionNames().contains(name))
            return;
        if (m_part == RowPart::checkbox)
            m_view->toggleRow(m_row);
        else
            m_view->revealRow(m_row);
    }
    QStringList keyBindingsForAction(const QString& name) const override
    {
        if (!actionNames().contains(name))
            return {};
        return {m_part == RowPart::checkbox ? QStringLiteral("Space") : QStringLiteral("Return")};
    }

private:
    RowPart m_part;
};

class RowAccessible final : public RowElement, public QAccessibleActionInterface
{
public:
    using RowElement::RowElement;

    QAccessibleInterface* parent() const override
    {
        return m_view
                   ? QAccessible::queryAccessibleInterface(const_cast<RowListView*>(m_view.data()))
                   : nullptr;
    }
    int childCount() const override
    {
        return isValid() ? static_cast<int>(m_view->partsOf(m_row).size()) : 0;
    }
    QAccessibleInterface* child(int i) const override
    {
        if (!isValid())
            return nullptr;
        const std::vector<RowPart> parts = m_view->partsOf(m_row);
        if (i < 0 || i >= static_cast<int>(parts.size()))
            return nullptr;
        return m_view->partAccessible(m_row, parts[static_cast<std::size_t>(i)]);
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        for (int i = 0; i < childCount(); ++i)
            if (this->child(i) == child)
                return i;
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override
    {
        for (int i = 0; i < childCount(); ++i)
            if (QAccessibleInterface* part = child(i); part && part->rect().contains(x, y))
                return part;
        return nullptr;
    }

    QString text(QAccessible::Text t) const override
    {
        if (!isValid())
            return {};
        if (t == QAccessible::Name) {
            const QString name = stringRole(index(), Qt::AccessibleTextRole);
            return name.isEmpty() ? stringRole(index(), Qt::DisplayRole) : name;
        }
        if (t == QAccessible::Help)
            return stringRole(index(), Qt::ToolTipRole);
        return {};
    }
    QRect rect() const override
    {
        VELDO_GCC12_IGNORE("-Wnull-dereference")
        return isValid() ? toGlobal(*m_view, m_view->visualRect(index())) : QRect();
        VELDO_GCC12_IGNORE_END
    }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        const QModelIndex i = index();
        s.focusable = true;
        s.focused = m_view->hasFocus() && m_view->currentIndex() == i;
        s.checkable = hasCheckState(i);
        s.checked = s.checkable && isChecked(i);
        VELDO_GCC12_IGNORE("-Wnull-dereference")
        s.invisible = !m_view->isVisible();
        s.offscreen = !m_view->viewport()->rect().intersects(m_view->visualRect(i));
        VELDO_GCC12_IGNORE_END
        return s;
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ActionInterface && isValid() && hasCheckState(index()))
            return static_cast<QAccessibleActionInterface*>(this);
        return nullptr;
    }
    QStringList actionNames() const override { return {toggleAction()}; }
    void doAction(const QString& name) override
    {
        if (isValid() && name == toggleAction())
            m_view->toggleRow(m_row);
    }
    QStringList keyBindingsForAction(const QString& name) const override
    {
        return name == toggleAction() ? QStringList{QStringLiteral("Space")} : QStringList{};
    }
};

class ListAccessible final : public QAccessibleWidget
{
public:
    explicit ListAccessible(RowListView* view) : QAccessibleWidget(view, QAccessible::List) {}

    int childCount() const override { return view()->model() ? view()->model()->rowCount() : 0; }
    QAccessibleInterface* child(int i) const override { return view()->rowAccessible(i); }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        // By the row's own number: walking the rows would make an element for each.
        const auto* row = dynamic_cast<const RowAccessible*>(child);
        if (!row || row->view() != view() || view()->rowAccessible(row->row()) != child)
            return -1;
        return row->row();
    }
    QAccessibleInterface* childAt(int x, int y) const override
    {
        const QModelIndex index = view()->indexAt(view()->viewport()->mapFromGlobal(QPoint(x, y)));
        return index.isValid() ? view()->rowAccessible(index.row()) : nullptr;
    }
    QAccessibleInterface* focusChild() const override
    {
        if (view()->hasFocus() && view()->currentIndex().isValid())
            return view()->rowAccessible(view()->currentIndex().row());
        return nullptr;
    }

private:
    RowListView* view() const { return static_cast<RowListView*>(widget()); }
};

QAccessibleInterface* accessibleFactory(const QString&, QObject* object)
{
    if (auto* view = qobject_cast<RowListView*>(object))
        return new ListAccessible(view);
    return nullptr;
}

} // namespace

RowListView::RowListView(QWidget* parent) : QListView(parent)
{
    static const bool installed = [] {
        QAccessible::installFactory(accessibleFactory);
        return true;
    }();
    (void)installed;
}

RowListView::~RowListView()
{
    forgetAccessibles();
}

void RowListView::setRowActions(RowAction toggle, RowAction reveal)
{
    m_toggle = std::move(toggle);
    m_reveal = std::move(reveal);
}

void RowListView::toggleRow(int row) const
{
    if (m_toggle && model() && row >= 0 && row < model()->rowCount())
        m_toggle(row);
}

void RowListView::revealRow(int row) const
{
    if (m_reveal && model() && row >= 0 && row < model()->rowCount())
        m_reveal(row);
}

std::vector<RowPart> RowListView::partsOf(int row) const
{
    std::vector<RowPart> parts;
    if (!model() || row < 0 || row >= model()->rowCount())
        return parts;
    const QModelIndex index = model()->index(row, 0);
    if (hasCheckState(index))
        parts.push_back(RowPart::checkbox);
    if (!stringRole(index, RowPartRoles::lockLabel).isEmpty())
        parts.push_back(RowPart::lock);
    if (!stringRole(index, RowPartRoles::revealName).isEmpty())
        parts.push_back(RowPart::reveal);
    return parts;
}

QRect RowListView::partRect(int row, RowPart part) const
{
    if (!model())
        return {};
    const QModelIndex index = model()->index(row, 0);
    const QRect rowRect = visualRect(index);
    const auto* delegate = dynamic_cast<const RowPartsDelegate*>(itemDelegateForIndex(index));
    if (!delegate)
        return rowRect;
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = rowRect;
    return delegate->partRect(option, index, part);
}

QAccessibleInterface* RowListView::cachedAccessible(int row, int slot) const
{
    if (!model() || row < 0 || row >= model()->rowCount())
        return nullptr;
    const qint64 key = static_cast<qint64>(row) * kSlots + slot;
    if (const auto found = m_accessibles.constFind(key); found != m_accessibles.constEnd())
        if (QAccessibleInterface* known = QAccessible::accessibleInterface(*found))
            return known;
    QAccessibleInterface* made =
        slot == 0 ? static_cast<QAccessibleInterface*>(new RowAccessible(this, row))
                  : new PartAccessible(this, row, static_cast<RowPart>(slot - 1));
    m_accessibles.insert(key, QAccessible::registerAccessibleInterface(made));
    return made;
}

QAccessibleInterface* RowListView::rowAccessible(int row) const
{
    return cachedAccessible(row, 0);
}

QAccessibleInterface* RowListView::partAccessible(int row, RowPart part) const
{
    const std::vector<RowPart> parts = partsOf(row);
    if (std::find(parts.begin(), parts.end(), part) == parts.end())
        return nullptr;
    return cachedAccessible(row, slotOf(part));
}

void RowListView::forgetAccessibles()
{
    const QHash<qint64, QAccessible::Id> known = std::exchange(m_accessibles, {});
    for (const QAccessible::Id id : known)
        QAccessible::deleteAccessibleInterface(id);
}

void RowListView::checkStatesChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                                     const QList<int>& roles)
{
    if (!roles.isEmpty() && !roles.contains(Qt::CheckStateRole))
        return;
    // Collected first: answering an event may make elements, which changes the table.
    std::vector<QAccessible::Id> touched;
    for (auto it = m_accessibles.constBegin(); it != m_accessibles.constEnd(); ++it) {
        const int row = static_cast<int>(it.key() / kSlots);
        const int slot = static_cast<int>(it.key() % kSlots);
        if (row >= topLeft.row() && row <= bottomRight.row() &&
            (slot == 0 || slot == slotOf(RowPart::checkbox)))
            touched.push_back(it.value());
    }
    QAccessible::State changed;
    changed.checked = true;
    for (const QAccessible::Id id : touched)
        if (QAccessibleInterface* element = QAccessible::accessibleInterface(id)) {
            QAccessibleStateChangeEvent event(element, changed);
            QAccessible::updateAccessibility(&event);
        }
}

void RowListView::setModel(QAbstractItemModel* model)
{
    for (const QMetaObject::Connection& connection : std::exchange(m_modelConnections, {}))
        disconnect(connection);
    forgetAccessibles();
    QListView::setModel(model);
    if (!model)
        return;
    const auto forget = [this] { forgetAccessibles(); };
    m_modelConnections = {
        connect(model, &QAbstractItemModel::modelReset, this, forget),
        connect(model, &QAbstractItemModel::rowsInserted, this, forget),
        connect(model, &QAbstractItemModel::rowsRemoved, this, forget),
        connect(model, &QAbstractItemModel::rowsMoved, this, forget),
        connect(model, &QAbstractItemModel::layoutChanged, this, forget),
        connect(model, &QAbstractItemModel::dataChanged, this, &RowListView::checkStatesChanged),
    };
}

void RowListView::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        if (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) {
            const QModelIndex current = currentIndex();
            if (current.isValid()) {
                if (key == Qt::Key_Space)
                    toggleRow(current.row());
                else
                    revealRow(current.row());
            }
            event->accept();
            return;
        }
    }
    QListView::keyPressEvent(event);
}

} // namespace veldo::ui
