#pragma once

#include <QHashFunctions>
#include <QRandomGenerator>
#include <QStringView>

// A path or a name as 128 bits, keyed afresh for each set: a set of them costs a few bytes a
// member where the strings would cost hundreds. Two different strings meet in one digest by a
// chance of about 2^-128 per pair, and no one can make them meet without knowing the keys.
struct NameDigest {
    size_t first = 0;
    size_t second = 0;
    friend bool operator==(const NameDigest &, const NameDigest &) = default;
};

inline size_t qHash(const NameDigest &digest, size_t seed = 0) noexcept
{
    return digest.first ^ seed;
}

class NameDigests
{
public:
    NameDigest of(QStringView text) const { return {qHash(text, m_keys[0]), qHash(text, m_keys[1])}; }

private:
    size_t m_keys[2] = {size_t(QRandomGenerator::system()->generate64()) | 1,
                        size_t(QRandomGenerator::system()->generate64()) | 1};
};
