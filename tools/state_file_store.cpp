// SPDX-License-Identifier: BSD-2-Clause

#include "tools/state_file_store.h"

#include <QFile>
#include <QSettings>
#include <cstdint>
#include <memory>

#include "settings/settings_store.h"
#include "tools/state_file_device.h"
#include "tools/state_file_json.h"
#include "tools/state_file_texts.h"

namespace zarn::state {

namespace {

// Text goes out in pieces of about this size, from one buffer for all.
constexpr std::size_t PIECE = std::size_t{1} << 20;

class Storing : public SetupSink {
public:
    Storing(const std::string &device_path, QIODevice &out, std::vector<std::string> &warnings,
            std::string &error)
        : texts_(QFile::decodeName(device_path.c_str())), settings_(zarn::settings::open()),
          device_path_(device_path), out_(out), warnings_(warnings), error_(error) {}

    void sample_rate(std::int32_t hz) override {
        encoder_ = std::make_unique<SetupEncoder>(hz, 2 * PIECE);
    }

    bool target(TargetState &state) override {
        fill_texts(state, texts_);
        fill_channel_name(state, settings_.get(), device_path_);
        for (std::string &line : out_of_range(state))
            warnings_.push_back(std::move(line) + "; a restore refuses this file");
        encoder_->add(state);
        return encoder_->pending() < PIECE || encoder_->flush_to(out_) || failed();
    }

    bool finish() {
        const QByteArray rest = encoder_->finish();
        return out_.write(rest) == rest.size() || failed();
    }

private:
    bool failed() {
        error_ = "writing failed: " + out_.errorString().toStdString();
        return false;
    }

    const FilterTexts texts_;
    // Opened once for the names of all channels.
    const std::unique_ptr<QSettings> settings_;
    const std::string device_path_;
    QIODevice &out_;
    std::vector<std::string> &warnings_;
    std::string &error_;
    std::unique_ptr<SetupEncoder> encoder_;
};

} // namespace

bool store_setup(int fd, const std::string &device_path, QIODevice &out,
                 std::vector<std::string> &warnings, std::string &error) {
    Storing storing(device_path, out, warnings, error);
    return read_setup(fd, storing, error) && storing.finish();
}

} // namespace zarn::state
