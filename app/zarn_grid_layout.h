// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QGridLayout>
#include <QWidget>

// A widget that is its own grid layout: the strip grid and the main column.
class ZARNGridLayout : public QWidget, public QGridLayout {
public:
    ZARNGridLayout();
    ~ZARNGridLayout() override;
};
