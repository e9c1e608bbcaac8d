#include "FuzzCheckedOnce.h"

#include <QHash>
#include <algorithm>
#include <cstddef>
#include <vector>

namespace {

// Two hashes of a text with different seeds: a text is taken for another only when both agree.
struct Key {
    size_t a = 0;
    size_t b = 0;
};

// Slots of the table, made once: remembering allocates nothing, so that a run which meets a new
// text does not look to the fuzzer like one that leaks memory.
constexpr size_t kSlots = size_t(1) << 20;
// A bound on memory for long campaigns: at half full the table forgets everything, and what was
// forgotten is checked again.
constexpr size_t kMaxRemembered = kSlots / 2;

} // namespace

struct CheckedOnce::Impl {
    std::vector<Key> table = std::vector<Key>(kSlots);
    size_t used = 0;

    bool remember(Key key) {
        key.a |= 1; // an empty slot is all zero
        if (used >= kMaxRemembered) {
            std::fill(table.begin(), table.end(), Key());
            used = 0;
        }
        for (size_t i = key.b & (kSlots - 1);; i = (i + 1) & (kSlots - 1)) {
            Key& slot = table[i];
            if (slot.a == 0) {
                slot = key;
                ++used;
                return true;
            }
            if (slot.a == key.a && slot.b == key.b) return false;
        }
    }
};

CheckedOnce::CheckedOnce() : m_impl(new Impl) {}

CheckedOnce::~CheckedOnce() {
    delete m_impl;
}

bool CheckedOnce::firstTime(const QStringList& lines) {
    return m_impl->remember({qHashRange(lines.cbegin(), lines.cend(), 0x6b6d3731u),
                             qHashRange(lines.cbegin(), lines.cend(), 0x51a7e5f0u)});
}

bool CheckedOnce::firstTime(QByteArrayView bytes) {
    return m_impl->remember({qHash(bytes, 0x6b6d3731u), qHash(bytes, 0x51a7e5f0u)});
}

bool CheckedOnce::firstTime(QStringView text) {
    return m_impl->remember({qHash(text, 0x6b6d3731u), qHash(text, 0x51a7e5f0u)});
}
