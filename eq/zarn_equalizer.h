#pragma once

#include <QGridLayout>
#include <QWidget>

#include <cstdint>

class ZARNButtonMap;
class ZARNEQButtons;
class ZARNEQClipboard;
class ZARNEQEditor;
class ZARNEQFreqResponse;
class ZARNMainWindow;

// The FIR equalizer of one channel of a device or loopback, in one direction.
// A parentless top-level window, created hidden by its strip.
class ZARNEqualizer : public QWidget {
    Q_OBJECT

public:
    ZARNEqualizer(ZARNMainWindow *main_window, int kind, int number, int channel);
    ~ZARNEqualizer() override;

    // Reads the sample rate and this channel's filter and sets the state map.
    void read_filter();

    int kind;
    int number;
    int channel;
    int sample_rate;
    int filter_length;
    double *coefficients;
    QGridLayout grid;
    ZARNMainWindow *main_window;
    ZARNEQFreqResponse *freq_response;
    ZARNButtonMap *state_map;
    ZARNEQButtons *presets;
    ZARNEQEditor *editor;
    ZARNEQClipboard *clipboard;

public slots:
    void handle_update();
    void handle_copy();
    void handle_paste();

private:
    void release_coefficients();
    // Designs the trimmed editor text into coefficients; false after a
    // message box.
    bool design_into_coefficients();
    std::uint32_t read_request() const;
    std::uint32_t write_request() const;
};
