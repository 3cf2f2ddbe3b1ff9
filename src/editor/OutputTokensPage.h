#pragma once

#include <QWidget>
#include <array>

class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;

namespace kx {

// The custom output tab's "   To&kens    " sub-page: the four wrapper lists, each with the box
// that shows its own character, the poll string, and the status, mode and units texts. The
// character menu edits either a wrapper character or a token text box.
class OutputTokensPage : public QWidget
{
    Q_OBJECT
public:
    enum Wrapper
    {
        Poll,
        Start,
        Stop,
        Block
    };

    explicit OutputTokensPage(QWidget* parent = nullptr);

    std::array<QComboBox*, 4> tokenLists;  // Poll_Token, Start_Token, Stop_Token, Block_Token
    std::array<QPushButton*, 4> charBoxes; // Poll_Char, Start_Char, Stop_Char, Block_Char
    QLineEdit* PollStr_Text;
    QLabel* PollStrExample;
    QList<QLineEdit*> tokenEdits; // the nine token texts
    QPushButton* AscIIButton;
    QMenu* PopUp_Char;
    QLineEdit* CharEdit;

    int code(Wrapper w) const { return codes_[w]; }
    // Sets a wrapper's character code and its box's caption.
    void setCode(Wrapper w, int code);
    // Shows each character box (and the poll string) only for its list's defining item.
    void syncWrapperBoxes();
    // Hides the ASCII button and the one-character box, and forgets the menu's target.
    void resetTargets();

signals:
    void edited();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Char_TextClick(int wrapper);
    void PopupItemClick(int code);
    void CharEntryClick();
    void CharEditChange(const QString& text);
    void Tokens_Enter(QLineEdit* edit);

    std::array<int, 4> codes_{};
    int charTarget_ = -1;
    QLineEdit* tokenTarget_ = nullptr;
};

} // namespace kx
