// Feeds arbitrary lines to the tokenizer with arbitrary delimiter, quote and comment sets.
#include "shell/clsToken.h"

#include <QString>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    clsToken token;
    // The first three bytes pick one delimiter, quote and comment character.
    token.AddDelimiters(QString(QChar(data[0])));
    token.AddStrings(QString(QChar(data[1])));
    token.AddComments(QString(QChar(data[2])));
    token.AddDelimiters(QStringLiteral(","));
    const QString line = QString::fromLatin1(reinterpret_cast<const char*>(data + 3), qsizetype(size - 3));
    token.setSource(line);
    const int count = token.TokenCount();
    if (count < 0 || count > clsToken::MaxTokens) __builtin_trap();
    qsizetype total = 0;
    for (int i = 0; i <= count + 1; ++i) total += token.Tokens(i).size();
    // No token can hold more text than the line.
    if (total > line.size() * 2 + 2) __builtin_trap();
    return 0;
}
