#pragma once

#include <QFileDevice>
#include <QString>

// Why a write to `file` failed. A full disk or a file-size limit can stop a write part-way, and
// the file is then left without an error text of its own; the system's text of `savedErrno`
// (errno taken just after the failed write, cleared before it) says why instead.
QString WriteErrorText(const QFileDevice& file, int savedErrno);
