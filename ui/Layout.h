#pragma once

#include "Text.h"

#include <QRect>
#include <QString>
#include <QWidget>
#include <string>

// What every window needs to lay out its fixed controls and show game text.
namespace qm::layout {

// The layouts are given in twips; the screen has 15 twips to a pixel.
constexpr int px(int twips) {
    return twips / 15;
}

inline QRect twipsRect(int left, int top, int width, int height) {
    return QRect(px(left), px(top), px(width), px(height));
}

template <typename Widget> Widget* place(Widget* widget, int left, int top, int width, int height) {
    widget->setGeometry(twipsRect(left, top, width, height));
    return widget;
}

// Game text is Windows-1252 bytes.
inline QString fromGameText(const std::string& bytes) {
    return QString::fromStdString(cp1252ToUtf8(bytes));
}

} // namespace qm::layout
