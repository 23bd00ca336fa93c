// The level bar, drawn by the style.
#include "platform/levelbar.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionProgressBar>

#include <algorithm>

LevelBar::LevelBar(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void LevelBar::setRange(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = std::max(minimum, maximum);
    setValue(value_);
}

void LevelBar::setValue(int value) {
    const int clamped = std::clamp(value, minimum_, maximum_);
    if (clamped != value_) {
        value_ = clamped;
        update();
    }
}

QSize LevelBar::sizeHint() const {
    return {100, fontMetrics().height() + 6};
}

void LevelBar::paintEvent(QPaintEvent*) {
    QStyleOptionProgressBar option;
    option.initFrom(this);
    option.minimum = minimum_;
    option.maximum = maximum_;
    option.progress = value_;
    option.textVisible = false;
    option.state |= QStyle::State_Horizontal;
    QPainter painter(this);
    style()->drawControl(QStyle::CE_ProgressBar, &option, &painter, this);
}
