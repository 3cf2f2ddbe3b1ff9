#pragma once

#include <QFrame>

class QPushButton;
class QTextEdit;

namespace kx {

// Where the transfer panel goes when the editor is made: centred across, and up from the
// vertical centre by a quarter of the centring offset. Each step rounds toward zero.
int transferPanelLeft(int windowWidth, int panelWidth);
int transferPanelTop(int windowHeight, int panelHeight);

// The red panel that reports a transfer with the indicator line by line. While it is up
// the panel it covers is disabled; its one button cancels the transfer and, once the
// transfer has ended, reads "OK" and closes the panel.
class TransferPanel : public QFrame
{
    Q_OBJECT
public:
    enum class ButtonMode
    {
        Cancel,
        Ok
    };

    explicit TransferPanel(QWidget* parent = nullptr);

    // The panel that is disabled while this one is up.
    void setCoveredPanel(QWidget* panel) { covered_ = panel; }

    // One status line. open: start afresh (clear, show, "Cancel", disable the covered
    // panel); otherwise finish: switch the button to "OK". replaceLast: the line takes the
    // place of the last one, when there is one.
    void ShowTransferStatus(const QString& text, bool open, bool finish, bool replaceLast);

    ButtonMode buttonMode() const { return mode_; }
    // An ended panel closes as its OK closes it; a running one stays.
    void dismiss();
    QStringList lines() const { return lines_; }
    QString lastLine() const;

    QTextEdit* TransferStatus;
    QPushButton* TransferButton;

signals:
    // The user closed the panel with "OK"; lastLine is what it read then.
    void closedWithOk(const QString& lastLine);
    // "Cancel" was pressed while a transfer ran; the panel has said so.
    void cancelled();

private:
    // Room left around the panel when it grows to the window's height.
    static constexpr int HostMargin = 8;

    void setButtonMode(ButtonMode mode);
    // The panel's height follows its lines; the view shows whole lines, the last one always.
    void fitLines();
    void TransferButtonClick();

    QWidget* covered_ = nullptr;
    QStringList lines_;
    ButtonMode mode_ = ButtonMode::Cancel;
    int madeHeight_ = 0; // the height it was placed with: it never gets smaller
};

} // namespace kx
