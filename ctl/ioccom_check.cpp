// SPDX-License-Identifier: BSD-2-Clause
// Where the system has FreeBSD's ioctl encoding header (FreeBSD, the BSDs,
// macOS), the request codes are checked against its macros when built.
#if __has_include(<sys/ioccom.h>)
#include <sys/ioccom.h>

#include "ctl/ioccom_check.h"
#endif
