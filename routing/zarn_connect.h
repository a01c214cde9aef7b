#pragma once

#include <QGroupBox>

class QGridLayout;
class ZARNDevConnections;
class ZARNLoopConnections;
class ZARNMainWindow;

// The connection diagram: main, device and loopback channels in a five-column
// grid, with the two route painters between the columns. Built once from the
// finished strip table; repainted by the strips after each configuration write.
class ZARNConnect : public QGroupBox {
    Q_OBJECT

public:
    explicit ZARNConnect(ZARNMainWindow *main_window);
    ~ZARNConnect() override;

    ZARNMainWindow *main_window;
    QGridLayout *grid;
    ZARNDevConnections *dev_connections;
    ZARNLoopConnections *loop_connections;
    int main_input_count;
    int main_output_count;
};
