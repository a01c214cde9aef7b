// SPDX-License-Identifier: BSD-2-Clause

#pragma once

// Cross-check of the hand-written request codes against the system's own
// ioctl encoding: include after <sys/ioccom.h>, or after macros that follow
// its encoding. Each code must be what the daemon's own _IOR/_IOW/_IOWR of
// the same record gives, or the daemon would refuse it.

#include <cstdint>

#include "ctl/requests.h"

static_assert(zarn::DIR_VOID == IOC_VOID && zarn::DIR_OUT == IOC_OUT && zarn::DIR_IN == IOC_IN &&
              zarn::DIR_INOUT == IOC_INOUT);
static_assert(zarn::IOC_SIZE_MASK == IOCPARM_MASK);

static_assert(zarn::REQ_PROBE == _IOR('O', 0, std::int32_t));
static_assert(zarn::REQ_DEV_CONFIG_GET == _IOWR('O', 1, zarn::ChannelConfig));
static_assert(zarn::REQ_DEV_CONFIG_SET == _IOW('O', 2, zarn::ChannelConfig));
static_assert(zarn::REQ_LOOP_CONFIG_GET == _IOWR('O', 3, zarn::ChannelConfig));
static_assert(zarn::REQ_LOOP_CONFIG_SET == _IOW('O', 4, zarn::ChannelConfig));
static_assert(zarn::REQ_INPUT_MON_GET == _IOWR('O', 5, zarn::MonitorConfig));
static_assert(zarn::REQ_INPUT_MON_SET == _IOW('O', 6, zarn::MonitorConfig));
static_assert(zarn::REQ_OUTPUT_MON_GET == _IOWR('O', 7, zarn::MonitorConfig));
static_assert(zarn::REQ_OUTPUT_MON_SET == _IOW('O', 8, zarn::MonitorConfig));
static_assert(zarn::REQ_DEV_PEAK == _IOWR('O', 9, zarn::TargetPeak));
static_assert(zarn::REQ_LOOP_PEAK == _IOWR('O', 10, zarn::TargetPeak));
static_assert(zarn::REQ_INPUT_MON_PEAK == _IOWR('O', 11, zarn::MonitorPeak));
static_assert(zarn::REQ_OUTPUT_MON_PEAK == _IOWR('O', 12, zarn::MonitorPeak));
static_assert(zarn::REQ_MAIN_COMP_SET == _IOW('O', 17, zarn::MainCompressorSettings));
static_assert(zarn::REQ_MAIN_COMP_GET == _IOWR('O', 18, zarn::MainCompressorSettings));
static_assert(zarn::REQ_DEV_COMP_SET == _IOW('O', 19, zarn::CompressorSettings));
static_assert(zarn::REQ_DEV_COMP_GET == _IOWR('O', 20, zarn::CompressorSettings));
static_assert(zarn::REQ_LOOP_COMP_SET == _IOW('O', 21, zarn::CompressorSettings));
static_assert(zarn::REQ_LOOP_COMP_GET == _IOWR('O', 22, zarn::CompressorSettings));
static_assert(zarn::REQ_MAIN_OUTPUT_PEAK == _IOWR('O', 23, zarn::MonitorPeak));
static_assert(zarn::REQ_MAIN_INPUT_PEAK == _IOWR('O', 24, zarn::MonitorPeak));
static_assert(zarn::REQ_RECORDING_SET == _IOW('O', 25, std::int32_t));
static_assert(zarn::REQ_RECORDING_GET == _IOR('O', 26, std::int32_t));
static_assert(zarn::REQ_DELAY_LOCATOR_SET == _IOW('O', 27, zarn::DelayLocatorRecord));
static_assert(zarn::REQ_DELAY_LOCATOR_GET == _IOR('O', 28, zarn::DelayLocatorRecord));
static_assert(zarn::REQ_DELAY_LOCATOR_RESET == _IO('O', 29));
static_assert(zarn::REQ_ADD_OPTIONS == _IOWR('O', 33, zarn::OptionsBuffer));
static_assert(zarn::REQ_DEV_RX_FILTER_GET == _IOWR('O', 34, zarn::FilterRecord));
static_assert(zarn::REQ_DEV_RX_FILTER_SET == _IOWR('O', 35, zarn::FilterRecord));
static_assert(zarn::REQ_DEV_TX_FILTER_GET == _IOWR('O', 36, zarn::FilterRecord));
static_assert(zarn::REQ_DEV_TX_FILTER_SET == _IOWR('O', 37, zarn::FilterRecord));
static_assert(zarn::REQ_LOOP_RX_FILTER_GET == _IOWR('O', 38, zarn::FilterRecord));
static_assert(zarn::REQ_LOOP_RX_FILTER_SET == _IOWR('O', 39, zarn::FilterRecord));
static_assert(zarn::REQ_LOOP_TX_FILTER_GET == _IOWR('O', 40, zarn::FilterRecord));
static_assert(zarn::REQ_LOOP_TX_FILTER_SET == _IOWR('O', 41, zarn::FilterRecord));
static_assert(zarn::REQ_SAMPLE_RATE_GET == _IOR('O', 42, std::int32_t));
static_assert(zarn::REQ_LOCAL_MON_GET == _IOWR('O', 43, zarn::MonitorConfig));
static_assert(zarn::REQ_SYSTEM_INFO == _IOR('O', 43, zarn::SystemInfo));
static_assert(zarn::REQ_LOCAL_MON_SET == _IOW('O', 44, zarn::MonitorConfig));
static_assert(zarn::REQ_LOCAL_MON_PEAK == _IOWR('O', 45, zarn::MonitorPeak));
