#pragma once

#include "settings/SetupComparison.h"
#include "transfer/TransferOutcome.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;
class QTableView;

namespace kx {

class CompareModel;

// The editor's settings beside another setup: the indicator's as just read ("Compare with
// KX7400…") or a file's ("Compare with file…"). One row a setting that differs, "Show all
// settings" for the equal ones too. Against the indicator each row that differs has a check
// box, and "Send checked" asks for a download of the indicator's setup with the checked rows
// taken from the editor; the window then says how that download ended.
class CompareWindow : public QDialog
{
    Q_OBJECT
public:
    // otherName: "KX7400" or the compared file's name. canSend: the other side is the
    // indicator, and what was read can be written back.
    CompareWindow(SetupComparison comparison, const QString& otherName, bool canSend,
                  QWidget* parent = nullptr);

    CompareModel* model() const { return model_; }
    QTableView* table() const { return table_; }
    QLabel* countLabel() const { return count_; }
    QLabel* resultLabel() const { return result_; }
    QCheckBox* showAllBox() const { return showAll_; }
    QPushButton* sendButton() const { return send_; }
    QPushButton* cancelButton() const { return cancel_; }

    // How "Send checked" went: refused before anything was sent, or the download's end.
    void showSendRefused(const QString& why);
    void showSendEnded(const TransferResult& result);
    // What the verify read back after the send: the table shows the indicator as it is now.
    void showReadBack(SetupComparison comparison);

signals:
    // "Send checked": the checked rows, their merged setup already checked.
    void sendRequested(const kx::CheckedSettings& setup);
    void cancelRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void reject() override;

private:
    void refreshSend();
    void send();
    void showResult(const QString& text);
    void showCount();

    CompareModel* model_;
    QTableView* table_;
    QLabel* count_;
    QLabel* result_;
    QCheckBox* showAll_;
    QPushButton* send_;
    QPushButton* cancel_;
    QPushButton* close_;
    QString otherName_;
    QString otherInSentence_;
    bool canSend_;
    bool sending_ = false;
    bool sent_ = false;
    // How many settings the send under way (or the last one) carried from the editor.
    int sentCount_ = 0;
};

} // namespace kx
