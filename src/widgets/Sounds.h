#pragma once

#include <QString>

// Short notification sounds (WAV files) played in the background.
namespace Sounds {

// Plays `fileName` ("OK.wav", "NG.wav") from the program's folder, or the built-in copy when
// the folder has none, without waiting. Fails silently.
void Play(const QString& fileName);

// The file that Play() would use for `fileName` (empty when there is none).
QString Resolve(const QString& fileName);

// Number of Play() calls that found a file to play, and the last file name asked for (tests).
int PlayCount();
QString LastRequested();

} // namespace Sounds
