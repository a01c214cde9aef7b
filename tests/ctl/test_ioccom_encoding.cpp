// SPDX-License-Identifier: BSD-2-Clause
// The request codes against FreeBSD's ioctl encoding on every system: these
// macros follow <sys/ioccom.h> (ioctl(2)), defined before the request header
// is read so that a clash of names with that header breaks this build too.
// Compiling this file is the test.

#if __has_include(<sys/ioccom.h>)
#include <sys/ioccom.h>
#else
#define IOCPARM_SHIFT 13
#define IOCPARM_MASK ((1 << IOCPARM_SHIFT) - 1)
#define IOC_VOID 0x20000000UL
#define IOC_OUT 0x40000000UL
#define IOC_IN 0x80000000UL
#define IOC_INOUT (IOC_IN | IOC_OUT)
#define _IOC(inout, group, num, len)                                                               \
    ((unsigned long)((inout) | (((len)&IOCPARM_MASK) << 16) | ((group) << 8) | (num)))
#define _IO(g, n) _IOC(IOC_VOID, (g), (n), 0)
#define _IOR(g, n, t) _IOC(IOC_OUT, (g), (n), sizeof(t))
#define _IOW(g, n, t) _IOC(IOC_IN, (g), (n), sizeof(t))
#define _IOWR(g, n, t) _IOC(IOC_INOUT, (g), (n), sizeof(t))
#endif

#include "ctl/ioccom_check.h"

// The emulation itself against well-known BSD codes.
static_assert(_IO('t', 13) == 0x2000740dUL);        // TIOCEXCL
static_assert(_IOR('f', 127, int) == 0x4004667fUL); // FIONREAD
static_assert(_IOW('f', 126, int) == 0x8004667eUL); // FIONBIO
