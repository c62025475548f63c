// The cask failure sheet.
#include "app/ui/CaskFailureSheet.h"

#include <QClipboard>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/ui/InsetWell.h"
#include "app/ui/SheetParts.h"
#include "app/ui/SymbolImage.h"
#include "app/ui/SymbolTitle.h"
#include "app/ui/SystemColors.h"
#include "app/ui/TextStyle.h"

namespace veldo::ui {

namespace {

QString fromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

CaskFailureSheet::CaskFailureSheet(controller::CaskFailure failure, std::function<void()> dismiss,
                                   QWidget* parent)
    : QDialog(parent), m_failure(std::move(failure)), m_dismiss(std::move(dismiss))
{
    const bool removed = m_failure.appWasRemoved;
    const QString name = fromUtf8(m_failure.appName);
    setFixedWidth(kWidth);
    auto* column = sheetColumn(this);
    m_title = new SymbolTitle("exclamationmark.triangle.fill",
                              removed ? tr("Homebrew Removed “") + name + tr("” but Didn’t Finish")
                                      : tr("Homebrew Couldn’t Uninstall “") + name + tr("”"),
                              this);
    setWindowTitle(m_title->text());
    m_message = secondaryText(fromUtf8(m_failure.message), TextStyle::body, this);
    m_message->setObjectName(QStringLiteral("messageLabel"));
    column->addWidget(m_title);
    column->addWidget(m_message);

    auto* block = new QVBoxLayout;
    block->setSpacing(6);
    m_commandIntro = new QLabel(removed ? tr("Run this in Terminal to finish Homebrew’s cleanup:")
                                        : tr("Run this in Terminal to finish the uninstall:"),
                                this);
    m_commandIntro->setObjectName(QStringLiteral("commandIntroLabel"));
    m_commandIntro->setFont(textFont(TextStyle::callout, font()));
    m_commandIntro->setWordWrap(true);
    auto* well = new InsetWell(this);
    auto* commandRow = new QHBoxLayout(well);
    commandRow->setContentsMargins(10, 10, 10, 10);
    commandRow->setSpacing(8);
    m_command = new QLabel(well);
    m_command->setObjectName(QStringLiteral("commandLabel"));
    m_command->setTextFormat(Qt::PlainText);
    m_command->setWordWrap(true);
    m_command->setText(fromUtf8(m_failure.terminalCommand));
    m_command->setFont(monospacedTextFont(TextStyle::callout, font()));
    m_command->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_command->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_copy = sheetButton(QString(), well);
    m_copy->setObjectName(QStringLiteral("copyButton"));
    commandRow->addWidget(m_command, 1);
    commandRow->addWidget(m_copy, 0, Qt::AlignVCenter);
    m_rescan = secondaryText(tr("Then use ⌘R in Veldo to rescan for anything left behind."),
                             TextStyle::caption, this);
    m_rescan->setObjectName(QStringLiteral("rescanLabel"));
    block->addWidget(m_commandIntro);
    block->addWidget(well);
    block->addWidget(m_rescan);
    column->addLayout(block);
    connect(m_copy, &QPushButton::clicked, this, &CaskFailureSheet::copyCommand);

    if (!m_failure.output.empty()) {
        m_disclosure = new QToolButton(this);
        m_disclosure->setObjectName(QStringLiteral("outputDisclosure"));
        m_disclosure->setText(tr("Homebrew output"));
        m_disclosure->setFont(textFont(TextStyle::callout, font()));
        m_disclosure->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        m_disclosure->setAutoRaise(true);
        m_disclosure->setCheckable(true);
        m_output = new QPlainTextEdit(this);
        m_output->setObjectName(QStringLiteral("outputView"));
        m_output->setReadOnly(true);
        m_output->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        m_output->setFont(monospacedTextFont(TextStyle::caption, font()));
        m_output->document()->setDocumentMargin(8);
        m_output->setMaximumHeight(kOutputMaximumHeight);
        m_output->setFixedHeight(kOutputMaximumHeight);
        // One call: the whole output becomes the document at once, however long it is.
        m_output->setPlainText(fromUtf8(m_failure.output));
        m_output->setVisible(false);
        column->addWidget(m_disclosure);
        column->addWidget(m_output);
        connect(m_disclosure, &QToolButton::toggled, this, &CaskFailureSheet::setShowOutput);
    }

    auto* buttons = new QHBoxLayout;
    m_ok = sheetButton(tr("OK"), this);
    m_ok->setObjectName(QStringLiteral("okButton"));
    m_ok->setDefault(true);
    buttons->addStretch(1);
    buttons->addWidget(m_ok);
    column->addLayout(buttons);
    connect(m_ok, &QPushButton::clicked, this, &CaskFailureSheet::reject);
    applyCopyLook();
    fitHeight(this);
}

void CaskFailureSheet::copyCommand()
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(fromUtf8(m_failure.terminalCommand));
    m_copied = true;
    applyCopyLook();
}

void CaskFailureSheet::setShowOutput(bool show)
{
    if (!m_output || show == m_showOutput)
        return;
    m_showOutput = show;
    m_disclosure->setChecked(show);
    m_output->setVisible(show);
    applyCopyLook();
    fitHeight(this);
}

QString CaskFailureSheet::title() const
{
    return m_title->text();
}

void CaskFailureSheet::reject()
{
    if (m_dismiss)
        m_dismiss();
}

void CaskFailureSheet::applyCopyLook()
{
    const ColorScheme scheme = SystemColors::colorScheme(palette());
    const QColor tint = SystemColors::color(SystemColor::label, scheme);
    const int edge = QFontMetrics(m_copy->font()).height();
    m_copy->setText(m_copied ? tr("Copied") : tr("Copy Command"));
    m_copy->setIcon(SymbolImage::icon(m_copied ? "checkmark" : "doc.on.doc", tint, edge));
    if (m_disclosure)
        m_disclosure->setArrowType(m_showOutput ? Qt::DownArrow : Qt::RightArrow);
}

void CaskFailureSheet::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        applyCopyLook();
}

} // namespace veldo::ui
