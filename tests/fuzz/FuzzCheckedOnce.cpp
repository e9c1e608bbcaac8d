#include "FuzzCheckedOnce.h"

#include <QHash>
#include <cstddef>
#include <unordered_set>

namespace {

struct Key {
    size_t a;
    size_t b;
    bool operator==(const Key&) const = default;
};

struct KeyHash {
    size_t operator()(const Key& k) const { return k.a ^ (k.b * 0x9e3779b97f4a7c15ull); }
};

// A bound on memory for long campaigns: what was forgotten is checked again.
constexpr size_t kMaxRemembered = size_t(1) << 20;

} // namespace

struct CheckedOnce::Impl {
    std::unordered_set<Key, KeyHash> seen;
};

CheckedOnce::CheckedOnce() : m_impl(new Impl) {}

CheckedOnce::~CheckedOnce() {
    delete m_impl;
}

bool CheckedOnce::firstTime(const QStringList& lines) {
    // Two hashes with different seeds: a text is taken for another only when both agree.
    const Key key{qHashRange(lines.cbegin(), lines.cend(), 0x6b6d3731u),
                  qHashRange(lines.cbegin(), lines.cend(), 0x51a7e5f0u)};
    if (m_impl->seen.size() >= kMaxRemembered) m_impl->seen.clear();
    return m_impl->seen.insert(key).second;
}
