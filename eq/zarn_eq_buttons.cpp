// SPDX-License-Identifier: BSD-2-Clause

#include "eq/zarn_eq_buttons.h"

#include <QPushButton>
#include <QTextEdit>

#include "eq/zarn_eq_editor.h"
#include "eq/zarn_equalizer.h"

// The 31 third-octave centre frequencies, all at unity: a pure delay.
const char ZARNEQButtons::defaults_text[] =
    "norm\n20 1\n25 1\n31.5 1\n40 1\n50 1\n63 1\n80 1\n100 1\n125 1\n160 1\n200 1\n250 1\n"
    "315 1\n400 1\n500 1\n630 1\n800 1\n1000 1\n1250 1\n1600 1\n2000 1\n2500 1\n3150 1\n"
    "4000 1\n5000 1\n6300 1\n8000 1\n10000 1\n12500 1\n16000 1\n20000 1\n";
const char ZARNEQButtons::lowpass_text[] = "norm\n150 1\n1000 0\n";
const char ZARNEQButtons::highpass_text[] = "norm\n150 0\n1000 1\n";
const char ZARNEQButtons::bandpass_text[] = "norm\n250 0\n500 1\n1000 1\n2000 0\n";

ZARNEQButtons::ZARNEQButtons(ZARNEqualizer *equalizer_)
    : QGroupBox(tr("Presets")), equalizer(equalizer_), grid(this) {
    defaults_button = new QPushButton(tr("Defa&ults"));
    lowpass_button = new QPushButton(tr("&LowPass"));
    highpass_button = new QPushButton(tr("&HighPass"));
    bandpass_button = new QPushButton(tr("&BandPass"));
    // A preset only fills the editor; nothing is sent until it is applied.
    defaults_button->setToolTip(tr("Fill the editor with a flat response, amplitude 1 from "
                                   "20 Hz to 20 kHz: the sound passes unchanged"));
    lowpass_button->setToolTip(tr("Fill the editor with a low-pass: 1 up to 150 Hz, "
                                  "falling to 0 at 1000 Hz"));
    highpass_button->setToolTip(tr("Fill the editor with a high-pass: 0 up to 150 Hz, "
                                   "rising to 1 at 1000 Hz"));
    bandpass_button->setToolTip(tr("Fill the editor with a band-pass: 1 from 500 Hz to "
                                   "1000 Hz, 0 below 250 Hz and from 2000 Hz on"));
    grid.addWidget(defaults_button, 0, 0, 1, 1);
    grid.addWidget(lowpass_button, 0, 1, 1, 1);
    grid.addWidget(highpass_button, 1, 0, 1, 1);
    grid.addWidget(bandpass_button, 1, 1, 1, 1);

    connect(defaults_button, &QPushButton::clicked, this, &ZARNEQButtons::handle_defaults);
    connect(lowpass_button, &QPushButton::clicked, this, &ZARNEQButtons::handle_lowpass);
    connect(highpass_button, &QPushButton::clicked, this, &ZARNEQButtons::handle_highpass);
    connect(bandpass_button, &QPushButton::clicked, this, &ZARNEQButtons::handle_bandpass);
}

ZARNEQButtons::~ZARNEQButtons() = default;

void ZARNEQButtons::set_text(const char *text) {
    equalizer->editor->text_edit->setText(QString::fromLatin1(text));
}

void ZARNEQButtons::handle_defaults() {
    set_text(defaults_text);
}

void ZARNEQButtons::handle_lowpass() {
    set_text(lowpass_text);
}

void ZARNEQButtons::handle_highpass() {
    set_text(highpass_text);
}

void ZARNEQButtons::handle_bandpass() {
    set_text(bandpass_text);
}
