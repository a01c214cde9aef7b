// SPDX-License-Identifier: BSD-2-Clause

#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "ctl/channel_config.h"
#include "ctl/compressor_settings.h"
#include "ctl/delay_locator_record.h"
#include "ctl/filter_record.h"
#include "ctl/main_compressor_settings.h"
#include "ctl/monitor_config.h"
#include "ctl/monitor_peak.h"
#include "ctl/options_buffer.h"
#include "ctl/system_info.h"
#include "ctl/target_peak.h"

namespace zarn {

// FreeBSD ioctl encoding: direction in bits 31-29, record size in 28-16,
// group in 15-8, request number in 7-0. The directions are not named
// IOC_*: <sys/ioccom.h> defines those as macros.
constexpr std::uint32_t DIR_VOID = 0x20000000u;
constexpr std::uint32_t DIR_OUT = 0x40000000u;   // daemon to panel
constexpr std::uint32_t DIR_IN = 0x80000000u;    // panel to daemon
constexpr std::uint32_t DIR_INOUT = 0xc0000000u; // both
constexpr std::uint32_t IOC_SIZE_MASK = 0x1fffu;
constexpr std::uint32_t IOC_GROUP = 'O';

constexpr std::uint32_t ioc(std::uint32_t dir, std::uint32_t size, std::uint32_t number) {
    return dir | ((size & IOC_SIZE_MASK) << 16) | (IOC_GROUP << 8) | (number & 0xffu);
}

// Record size carried in a request code.
constexpr std::uint32_t ioc_size(std::uint32_t code) {
    return (code >> 16) & IOC_SIZE_MASK;
}

constexpr std::uint32_t REQ_PROBE = ioc(DIR_OUT, sizeof(std::int32_t), 0);
constexpr std::uint32_t REQ_DEV_CONFIG_GET = ioc(DIR_INOUT, sizeof(ChannelConfig), 1);
constexpr std::uint32_t REQ_DEV_CONFIG_SET = ioc(DIR_IN, sizeof(ChannelConfig), 2);
constexpr std::uint32_t REQ_LOOP_CONFIG_GET = ioc(DIR_INOUT, sizeof(ChannelConfig), 3);
constexpr std::uint32_t REQ_LOOP_CONFIG_SET = ioc(DIR_IN, sizeof(ChannelConfig), 4);
constexpr std::uint32_t REQ_INPUT_MON_GET = ioc(DIR_INOUT, sizeof(MonitorConfig), 5);
constexpr std::uint32_t REQ_INPUT_MON_SET = ioc(DIR_IN, sizeof(MonitorConfig), 6);
constexpr std::uint32_t REQ_OUTPUT_MON_GET = ioc(DIR_INOUT, sizeof(MonitorConfig), 7);
constexpr std::uint32_t REQ_OUTPUT_MON_SET = ioc(DIR_IN, sizeof(MonitorConfig), 8);
constexpr std::uint32_t REQ_DEV_PEAK = ioc(DIR_INOUT, sizeof(TargetPeak), 9);
constexpr std::uint32_t REQ_LOOP_PEAK = ioc(DIR_INOUT, sizeof(TargetPeak), 10);
constexpr std::uint32_t REQ_INPUT_MON_PEAK = ioc(DIR_INOUT, sizeof(MonitorPeak), 11);
constexpr std::uint32_t REQ_OUTPUT_MON_PEAK = ioc(DIR_INOUT, sizeof(MonitorPeak), 12);
constexpr std::uint32_t REQ_MAIN_COMP_SET = ioc(DIR_IN, sizeof(MainCompressorSettings), 17);
constexpr std::uint32_t REQ_MAIN_COMP_GET = ioc(DIR_INOUT, sizeof(MainCompressorSettings), 18);
constexpr std::uint32_t REQ_DEV_COMP_SET = ioc(DIR_IN, sizeof(CompressorSettings), 19);
constexpr std::uint32_t REQ_DEV_COMP_GET = ioc(DIR_INOUT, sizeof(CompressorSettings), 20);
constexpr std::uint32_t REQ_LOOP_COMP_SET = ioc(DIR_IN, sizeof(CompressorSettings), 21);
constexpr std::uint32_t REQ_LOOP_COMP_GET = ioc(DIR_INOUT, sizeof(CompressorSettings), 22);
constexpr std::uint32_t REQ_MAIN_OUTPUT_PEAK = ioc(DIR_INOUT, sizeof(MonitorPeak), 23);
constexpr std::uint32_t REQ_MAIN_INPUT_PEAK = ioc(DIR_INOUT, sizeof(MonitorPeak), 24);
constexpr std::uint32_t REQ_RECORDING_SET = ioc(DIR_IN, sizeof(std::int32_t), 25);
constexpr std::uint32_t REQ_RECORDING_GET = ioc(DIR_OUT, sizeof(std::int32_t), 26);
constexpr std::uint32_t REQ_DELAY_LOCATOR_SET = ioc(DIR_IN, sizeof(DelayLocatorRecord), 27);
constexpr std::uint32_t REQ_DELAY_LOCATOR_GET = ioc(DIR_OUT, sizeof(DelayLocatorRecord), 28);
constexpr std::uint32_t REQ_DELAY_LOCATOR_RESET = ioc(DIR_VOID, 0, 29);
constexpr std::uint32_t REQ_ADD_OPTIONS = ioc(DIR_INOUT, sizeof(OptionsBuffer), 33);
constexpr std::uint32_t REQ_DEV_RX_FILTER_GET = ioc(DIR_INOUT, sizeof(FilterRecord), 34);
constexpr std::uint32_t REQ_DEV_RX_FILTER_SET = ioc(DIR_INOUT, sizeof(FilterRecord), 35);
constexpr std::uint32_t REQ_DEV_TX_FILTER_GET = ioc(DIR_INOUT, sizeof(FilterRecord), 36);
constexpr std::uint32_t REQ_DEV_TX_FILTER_SET = ioc(DIR_INOUT, sizeof(FilterRecord), 37);
constexpr std::uint32_t REQ_LOOP_RX_FILTER_GET = ioc(DIR_INOUT, sizeof(FilterRecord), 38);
constexpr std::uint32_t REQ_LOOP_RX_FILTER_SET = ioc(DIR_INOUT, sizeof(FilterRecord), 39);
constexpr std::uint32_t REQ_LOOP_TX_FILTER_GET = ioc(DIR_INOUT, sizeof(FilterRecord), 40);
constexpr std::uint32_t REQ_LOOP_TX_FILTER_SET = ioc(DIR_INOUT, sizeof(FilterRecord), 41);
constexpr std::uint32_t REQ_SAMPLE_RATE_GET = ioc(DIR_OUT, sizeof(std::int32_t), 42);
// Number 43 has two forms; the daemon tells them apart by the whole code.
constexpr std::uint32_t REQ_LOCAL_MON_GET = ioc(DIR_INOUT, sizeof(MonitorConfig), 43);
constexpr std::uint32_t REQ_SYSTEM_INFO = ioc(DIR_OUT, sizeof(SystemInfo), 43);
constexpr std::uint32_t REQ_LOCAL_MON_SET = ioc(DIR_IN, sizeof(MonitorConfig), 44);
constexpr std::uint32_t REQ_LOCAL_MON_PEAK = ioc(DIR_INOUT, sizeof(MonitorPeak), 45);

static_assert(REQ_PROBE == 0x40044f00u);
static_assert(REQ_DEV_CONFIG_GET == 0xc0544f01u);
static_assert(REQ_DEV_CONFIG_SET == 0x80544f02u);
static_assert(REQ_LOOP_CONFIG_GET == 0xc0544f03u);
static_assert(REQ_LOOP_CONFIG_SET == 0x80544f04u);
static_assert(REQ_INPUT_MON_GET == 0xc01c4f05u);
static_assert(REQ_INPUT_MON_SET == 0x801c4f06u);
static_assert(REQ_OUTPUT_MON_GET == 0xc01c4f07u);
static_assert(REQ_OUTPUT_MON_SET == 0x801c4f08u);
static_assert(REQ_DEV_PEAK == 0xc0404f09u);
static_assert(REQ_LOOP_PEAK == 0xc0404f0au);
static_assert(REQ_INPUT_MON_PEAK == 0xc0104f0bu);
static_assert(REQ_OUTPUT_MON_PEAK == 0xc0104f0cu);
static_assert(REQ_MAIN_COMP_SET == 0x80144f11u);
static_assert(REQ_MAIN_COMP_GET == 0xc0144f12u);
static_assert(REQ_DEV_COMP_SET == 0x80184f13u);
static_assert(REQ_DEV_COMP_GET == 0xc0184f14u);
static_assert(REQ_LOOP_COMP_SET == 0x80184f15u);
static_assert(REQ_LOOP_COMP_GET == 0xc0184f16u);
static_assert(REQ_MAIN_OUTPUT_PEAK == 0xc0104f17u);
static_assert(REQ_MAIN_INPUT_PEAK == 0xc0104f18u);
static_assert(REQ_RECORDING_SET == 0x80044f19u);
static_assert(REQ_RECORDING_GET == 0x40044f1au);
static_assert(REQ_DELAY_LOCATOR_SET == 0x801c4f1bu);
static_assert(REQ_DELAY_LOCATOR_GET == 0x401c4f1cu);
static_assert(REQ_DELAY_LOCATOR_RESET == 0x20004f1du);
static_assert(REQ_ADD_OPTIONS == 0xc4004f21u);
static_assert(REQ_DEV_RX_FILTER_GET == 0xc0184f22u);
static_assert(REQ_DEV_RX_FILTER_SET == 0xc0184f23u);
static_assert(REQ_DEV_TX_FILTER_GET == 0xc0184f24u);
static_assert(REQ_DEV_TX_FILTER_SET == 0xc0184f25u);
static_assert(REQ_LOOP_RX_FILTER_GET == 0xc0184f26u);
static_assert(REQ_LOOP_RX_FILTER_SET == 0xc0184f27u);
static_assert(REQ_LOOP_TX_FILTER_GET == 0xc0184f28u);
static_assert(REQ_LOOP_TX_FILTER_SET == 0xc0184f29u);
static_assert(REQ_SAMPLE_RATE_GET == 0x40044f2au);
static_assert(REQ_LOCAL_MON_GET == 0xc01c4f2bu);
static_assert(REQ_SYSTEM_INFO == 0x40944f2bu);
static_assert(REQ_LOCAL_MON_SET == 0x801c4f2cu);
static_assert(REQ_LOCAL_MON_PEAK == 0xc0104f2du);

constexpr bool is_filter_get(std::uint32_t code) {
    return code == REQ_DEV_RX_FILTER_GET || code == REQ_DEV_TX_FILTER_GET ||
           code == REQ_LOOP_RX_FILTER_GET || code == REQ_LOOP_TX_FILTER_GET;
}

constexpr bool is_filter_set(std::uint32_t code) {
    return code == REQ_DEV_RX_FILTER_SET || code == REQ_DEV_TX_FILTER_SET ||
           code == REQ_LOOP_RX_FILTER_SET || code == REQ_LOOP_TX_FILTER_SET;
}

// Largest filter a request may carry.
constexpr std::int32_t MAX_FILTER_SIZE = 65536;

// Number of doubles that travel over the socket with a filter record: its
// size when it carries an address and 1 <= size <= MAX_FILTER_SIZE, else 0.
inline std::size_t carried_doubles(const unsigned char *record) {
    std::int32_t size;
    std::uint64_t address;
    std::memcpy(&size, record + offsetof(FilterRecord, size), sizeof size);
    std::memcpy(&address, record + offsetof(FilterRecord, coefficients), sizeof address);
    if (address == 0 || size < 1 || size > MAX_FILTER_SIZE)
        return 0;
    return static_cast<std::size_t>(size);
}

} // namespace zarn
