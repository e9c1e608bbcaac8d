#include "sim/SimRandom.h"

SimRandom::SimRandom(quint64 seed) {
    reseed(seed);
}

void SimRandom::reseed(quint64 seed) {
    m_state = seed * 0x9E3779B97F4A7C15ull + 0x1234567ull;
}

quint64 SimRandom::next() {
    quint64 z = (m_state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

int SimRandom::uniform(int low, int high) {
    if (high <= low) return low;
    const quint64 span = quint64(qint64(high) - qint64(low)) + 1;
    return int(qint64(low) + qint64(next() % span));
}

double SimRandom::unit() {
    return double(next() >> 11) * (1.0 / 9007199254740992.0);
}
