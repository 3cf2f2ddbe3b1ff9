#pragma once

#include <QLabel>

namespace kx {

// A red panel with white bold text laid over the editor's pages; it stays up until it is
// clicked.
class ErrorPanel : public QLabel
{
    Q_OBJECT
public:
    explicit ErrorPanel(QWidget* parent = nullptr);

    void showError(const QString& text);

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
};

} // namespace kx
