#pragma once

#include <QLabel>

// A label or picture that reports clicks. It looks like any other label: no underline, no link colour
// and no pointer change, so a link reads like the text around it.
class ClickableLabel : public QLabel
{
    Q_OBJECT

public:
    explicit ClickableLabel(QWidget* parent = nullptr);

signals:
    // A press and release of the left button inside the label.
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool m_pressed = false;
};
