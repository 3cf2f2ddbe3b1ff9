#pragma once

// What the program looks up in the trend module: one plain function, so that nothing but its
// name and signature has to agree between the two.
class QWidget;

namespace kx {
class TrendFeed;
}

extern "C" {
using NewTrendWindowFunction = QWidget* (*)(kx::TrendFeed* feed, QWidget* parent);
}

namespace kx {
inline constexpr char NewTrendWindowSymbol[] = "kxNewTrendWindow";
}
