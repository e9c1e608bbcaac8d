#pragma once

#include <QtGlobal>

// A small deterministic random generator (splitmix64): the same seed gives the same sequence
// on every platform and compiler.
class SimRandom {
public:
    explicit SimRandom(quint64 seed = 1);

    // Starts the sequence again from `seed`.
    void reseed(quint64 seed);
    // The next 64 random bits.
    quint64 next();
    // A whole number in [low, high] (both included).
    int uniform(int low, int high);
    // A number in [0, 1).
    double unit();

private:
    quint64 m_state = 0;
};
