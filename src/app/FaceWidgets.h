#pragma once

#include <QAbstractButton>
#include <QLabel>

namespace kx {

// A label that reports clicks and double clicks (the weight, the bottom bar's texts).
class ClickLabel : public QLabel
{
    Q_OBJECT
public:
    using QLabel::QLabel;
    // Keeps what assistive technology reads in step with what is shown.
    void setShownText(const QString& text);

signals:
    void clicked();
    void doubleClicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

// Text in the indicator's seven-segment face, right-aligned.
class SegmentLabel : public ClickLabel
{
    Q_OBJECT
public:
    explicit SegmentLabel(QWidget* parent = nullptr);
    // The seven-segment family if the system has it, else a plain monospace face.
    static QString segmentFamily();
};

// One annunciator mark: a small triangle over its legend, lit or dark.
class Mark : public QWidget
{
    Q_OBJECT
public:
    Mark(const QString& legend, QWidget* parent = nullptr);
    void setLit(bool lit);
    bool isLit() const { return lit_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString legend_;
    bool lit_ = false;
};

// A key of the indicator's keypad, drawn as a raised rubber key that sinks when pressed.
class FaceKey : public QAbstractButton
{
    Q_OBJECT
public:
    FaceKey(const QString& caption, int tag, QWidget* parent = nullptr);
    int tag() const { return tag_; }
    void setRound(bool round) { round_ = round; }
    QSize sizeHint() const override { return {73, 73}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int tag_;
    bool round_ = false;
};

// The indicator's body: the picture under every control of the face.
class PanelPicture : public QWidget
{
    Q_OBJECT
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace kx
