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
    QString source;
    const QString kept =
        texts_of(equalizer).text_for(equalizer->target(), equalizer->receives(),
                                     equalizer->coefficients, equalizer->filter_length, &source);
    if (kept != now)
        edit->setPlainText(kept);
    shown = kept;
    // A source that does not parse leaves the table hidden.
    if (kept.isEmpty())
        source.clear();
    if (!source.isEmpty() || showed_source)
        equalizer->editor->show_source(source, equalizer->sample_rate);
    showed_source = !source.isEmpty();
}

void ZARNEQTextKeeper::applied() {
    const QString text = equalizer->editor->text_edit->toPlainText();
    texts_of(equalizer).keep(equalizer->target(), equalizer->receives(), text,
                             equalizer->coefficients, equalizer->filter_length,
                             equalizer->editor->source_in_force());
    // The user's own text from now on: another client's filter does not take it away.
    shown.clear();
    showed_source = false;
}
