// SPDX-License-Identifier: BSD-2-Clause

#include "app/zarn_connection.h"

ZARNConnection::ZARNConnection(const char *device_path, QObject *parent)
    : QObject(parent), device_path(device_path), fd(-1), tick(0),
      link(ConnectionWatch::Link::Answering) {}
