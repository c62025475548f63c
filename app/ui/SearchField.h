// SearchField: a one-line search box bound both ways to a text the controller owns.
//
// Typing (and the clear button) reports the new text through textEditedByUser(); showText()
// puts a text that changed elsewhere into the field without reporting it back, so a binding
// never loops. The field shows a magnifying-glass symbol before the text and a clear button
// while it holds text. GUI thread.
#pragma once

#include <QLineEdit>

namespace veldo::ui {

class SearchField final : public QLineEdit
{
    Q_OBJECT
public:
    explicit SearchField(const QString& placeholder, QWidget* parent = nullptr);

    // Shows `text` unless the field already holds it (the cursor stays where it was then).
    // Emits nothing.
    void showText(const QString& text);

signals:
    // The user changed the text: typed, pasted, deleted or cleared it.
    void textEditedByUser(const QString& text);
};

} // namespace veldo::ui
