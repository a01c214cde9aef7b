// SPDX-License-Identifier: BSD-2-Clause

#include "eq/zarn_eq_text_keeper.h"

#include <QTextEdit>

#include "app/zarn_connection.h"
#include "eq/filter_texts.h"
#include "eq/zarn_eq_editor.h"
#include "eq/zarn_equalizer.h"

namespace {

zarn::FilterTexts texts_of(const ZARNEqualizer *e) {
    return zarn::FilterTexts(QString::fromLocal8Bit(e->connection->device_path));
}

} // namespace

ZARNEQTextKeeper::ZARNEQTextKeeper(ZARNEqualizer *equalizer) : equalizer(equalizer) {}

void ZARNEQTextKeeper::filter_read() {
    QTextEdit *edit = equalizer->editor->text_edit;
    const QString now = edit->toPlainText();
    const bool ours = now.isEmpty() || (!shown.isEmpty() && now == shown);
    if (!ours)
        return;
    const QString kept =
        texts_of(equalizer).text_for(equalizer->target(), equalizer->receives(),
                                     equalizer->coefficients, equalizer->filter_length);
    if (kept != now)
        edit->setPlainText(kept);
    shown = kept;
}

void ZARNEQTextKeeper::applied() {
    const QString text = equalizer->editor->text_edit->toPlainText();
    texts_of(equalizer).keep(equalizer->target(), equalizer->receives(), text,
                             equalizer->coefficients, equalizer->filter_length);
    // The user's own text from now on: another client's filter does not take it away.
    shown.clear();
}
