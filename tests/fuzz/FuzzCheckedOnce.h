#pragma once

// A round trip (write what was read, read it again) depends only on what was read. Most inputs
// a fuzzer makes read to something it has read before, so a target remembers what it has
// already sent round and checks each distinct text once. The memory is built without the
// fuzzer's coverage, so that its own workings do not steer the fuzzer.

#include <QByteArrayView>
#include <QStringList>
#include <QStringView>

class CheckedOnce {
public:
    CheckedOnce();
    ~CheckedOnce();
    CheckedOnce(const CheckedOnce&) = delete;
    CheckedOnce& operator=(const CheckedOnce&) = delete;

    // True the first time `lines` come (they are then remembered), false afterwards.
    bool firstTime(const QStringList& lines);
    // The same for the bytes of a file.
    bool firstTime(QByteArrayView bytes);
    // The same for a text.
    bool firstTime(QStringView text);

private:
    struct Impl;
    Impl* m_impl;
};
