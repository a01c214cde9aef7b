// SPDX-License-Identifier: BSD-2-Clause

#include "app/zarn_grid_layout.h"

// The grid part takes the widget part as parent, which installs it as the
// widget's layout; children are added with QGridLayout::addWidget.
ZARNGridLayout::ZARNGridLayout() : QWidget(nullptr), QGridLayout(static_cast<QWidget *>(this)) {}

ZARNGridLayout::~ZARNGridLayout() = default;
