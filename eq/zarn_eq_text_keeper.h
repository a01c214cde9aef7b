// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QString>

class ZARNEqualizer;

// Keeps an equalizer's applied text in the user's settings and shows it
// again in a later run, while the daemon's coefficients are still the ones
// it produced; with it the imported filters it was made from, in their table.
class ZARNEQTextKeeper {
public:
    explicit ZARNEQTextKeeper(ZARNEqualizer *equalizer);

    // After a filter was read: an empty editor shows the kept text of these
    // coefficients; a text it showed that no longer matches them goes.
    // Whatever the user typed stays.
    void filter_read();
    // After the editor's text was designed and the daemon took it.
    void applied();

private:
    ZARNEqualizer *equalizer;
    QString shown;              // what filter_read put into the editor
    bool showed_source = false; // and whether it filled the table too
};
