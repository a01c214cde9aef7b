// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <QGridLayout>
#include <QGroupBox>

class QPushButton;
class ZARNEqualizer;

// The "Presets" group: each button replaces the editor's text with a fixed
// specification. Nothing is designed or sent until the user applies it.
class ZARNEQButtons : public QGroupBox {
    Q_OBJECT

public:
    explicit ZARNEQButtons(ZARNEqualizer *equalizer);
    ~ZARNEQButtons() override;

    static const char defaults_text[];
    static const char lowpass_text[];
    static const char highpass_text[];
    static const char bandpass_text[];

    ZARNEqualizer *equalizer;
    QGridLayout grid;
    QPushButton *defaults_button;
    QPushButton *lowpass_button;
    QPushButton *highpass_button;
    QPushButton *bandpass_button;

public slots:
    void handle_defaults();
    void handle_lowpass();
    void handle_highpass();
    void handle_bandpass();

private:
    void set_text(const char *text);
};
