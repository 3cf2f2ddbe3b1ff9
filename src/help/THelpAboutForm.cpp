#include "help/THelpAboutForm.h"

#include "widgets/AccessibleControl.h"
#include "editor/QtDocumentDialogs.h"
#include "help/AboutText.h"
#include "help/ManualLauncher.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

namespace kx {

namespace {

constexpr int Margin = 12;
constexpr int LabelsWidth = 138;
constexpr int ValuesWidth = 330;
constexpr int Lines = 10;

QPlainTextEdit* makeColumn(QWidget* parent, const QString& name)
{
    auto* column = new QPlainTextEdit(parent);
    column->setReadOnly(true);
    column->setLineWrapMode(QPlainTextEdit::NoWrap);
    column->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    column->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    column->setFrameShape(QFrame::NoFrame);
    column->setStyleSheet(QStringLiteral("background: white; color: black;"));
    nameControl(column, name);
    return column;
}

} // namespace

THelpAboutForm::THelpAboutForm(const VersionInfo& info, ManualLauncher& launcher,
                               DocumentDialogs* dialogs, QWidget* parent)
    : QDialog(parent), info_(info), launcher_(launcher), dialogs_(dialogs),
      programFile_(QCoreApplication::applicationFilePath())
{
    if (!dialogs_) {
        ownDialogs_ = std::make_unique<QtDocumentDialogs>(this);
        dialogs_ = ownDialogs_.get();
    }
    nameControl(this, QStringLiteral("THelpAboutForm"));
    setWindowTitle(QStringLiteral("KXDUAL Help About"));
    setAccessibleName(windowTitle());
    setModal(true);
    setAutoFillBackground(true);
    setStyleSheet(QStringLiteral("#THelpAboutForm { background: navy; }"));

    LabelsMemo = makeColumn(this, QStringLiteral("LabelsMemo"));
    ValuesMemo = makeColumn(this, QStringLiteral("ValuesMemo"));
    // One font for both columns keeps each value on its label's line.
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    LabelsMemo->setFont(font);
    ValuesMemo->setFont(font);
    LabelsMemo->setPlainText(aboutLabels().join(QLatin1Char('\n')));

    const int lineHeight = QFontMetrics(font).lineSpacing();
    // Ten lines, the document's margins, and room for a scroll bar under a long path.
    const int columnHeight =
        Lines * lineHeight + 2 * int(LabelsMemo->document()->documentMargin()) + 24;
    LabelsMemo->setGeometry(Margin, Margin, LabelsWidth, columnHeight);
    ValuesMemo->setGeometry(Margin + LabelsWidth, Margin, ValuesWidth, columnHeight);

    OpButton = new QPushButton(QStringLiteral("&Operators Manual"), this);
    nameControl(OpButton, QStringLiteral("OpButton"));
    CloseButton = new QPushButton(QStringLiteral("&Close"), this);
    nameControl(CloseButton, QStringLiteral("CloseButton"));
    const int buttonsTop = Margin + columnHeight + Margin;
    const int width = Margin + LabelsWidth + ValuesWidth + Margin;
    OpButton->setGeometry(Margin, buttonsTop, 160, 28);
    CloseButton->setGeometry(width - Margin - 100, buttonsTop, 100, 28);
    OpButton->setAutoDefault(false);
    CloseButton->setDefault(true);
    connect(OpButton, &QPushButton::clicked, this, &THelpAboutForm::OpButtonClick);
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::accept);

    setFixedSize(width, buttonsTop + 28 + Margin);
}

THelpAboutForm::~THelpAboutForm() = default;

void THelpAboutForm::showEvent(QShowEvent* event)
{
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    FormShow();
    QDialog::showEvent(event);
}

void THelpAboutForm::FormShow()
{
    if (const auto values = aboutValues(info_, programFile_))
        ValuesMemo->setPlainText(values->join(QLatin1Char('\n')));
}

void THelpAboutForm::OpButtonClick()
{
    launcher_.OpButtonClick(*dialogs_);
}

} // namespace kx
