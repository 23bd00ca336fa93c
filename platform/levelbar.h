// A bar that shows a level (the S-meter), drawn as the style draws a
// progress bar. Unlike Qt's progress bar it does not tell assistive
// technology of every change of its position: a reading polled ten times
// a second would keep a screen reader talking. Its accessible interface
// (platform/accessible.cpp) reads the position and the spoken value, and
// changes are announced when the program says so (accessible::announceValue).
#pragma once

#include <QWidget>

class LevelBar final : public QWidget {
  public:
    explicit LevelBar(QWidget* parent = nullptr);

    void setRange(int minimum, int maximum);
    // Kept within the range.
    void setValue(int value);
    int value() const { return value_; }
    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int minimum_ = 0;
    int maximum_ = 100;
    int value_ = 0;
};
