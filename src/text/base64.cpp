#include "text/base64.h"

#include "text/ramuxerror.h"

#include <QIODevice>
#include <array>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr qint8 kPad = -2;
constexpr qint8 kBad = -1;

constexpr std::array<qint8, 256> makeDecodeTable()
{
    std::array<qint8, 256> t{};
    for (auto &v : t)
        v = kBad;
    for (int i = 0; i < 64; ++i)
        t[static_cast<unsigned char>(kAlphabet[i])] = static_cast<qint8>(i);
    t['='] = kPad;
    return t;
}
constexpr std::array<qint8, 256> kDecode = makeDecodeTable();

[[noreturn]] void invalidCharacter()
{
    throw RamuxError(QString::fromLatin1(kInvalidBase64Character));
}

} // namespace

QByteArray base64Encode(QByteArrayView bytes)
{
    const qsizetype n = bytes.size();
    QByteArray out;
    out.resize(((n + 2) / 3) * 4);
    char *o = out.data();
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    qsizetype i = 0;
    for (; i + 3 <= n; i += 3) {
        const quint32 v = (quint32(p[i]) << 16) | (quint32(p[i + 1]) << 8) | p[i + 2];
        *o++ = kAlphabet[(v >> 18) & 63];
        *o++ = kAlphabet[(v >> 12) & 63];
        *o++ = kAlphabet[(v >> 6) & 63];
        *o++ = kAlphabet[v & 63];
    }
    if (n - i == 1) {
        const quint32 v = quint32(p[i]) << 16;
        *o++ = kAlphabet[(v >> 18) & 63];
        *o++ = kAlphabet[(v >> 12) & 63];
        *o++ = '=';
        *o++ = '=';
    } else if (n - i == 2) {
        const quint32 v = (quint32(p[i]) << 16) | (quint32(p[i + 1]) << 8);
        *o++ = kAlphabet[(v >> 18) & 63];
        *o++ = kAlphabet[(v >> 12) & 63];
        *o++ = kAlphabet[(v >> 6) & 63];
        *o++ = '=';
    }
    return out;
}

QByteArray base64Decode(QByteArrayView text)
{
    const qsizetype n = text.size();
    if (n % 4 != 0) {
        // Validate the characters first so the message is the same whatever the fault.
        for (char c : text)
            if (kDecode[static_cast<unsigned char>(c)] == kBad)
                invalidCharacter();
        invalidCharacter();
    }
    QByteArray out;
    out.resize(n / 4 * 3);
    char *o = out.data();
    const auto *p = reinterpret_cast<const unsigned char *>(text.data());
    for (qsizetype i = 0; i < n; i += 4) {
        const qint8 a = kDecode[p[i]], b = kDecode[p[i + 1]], c = kDecode[p[i + 2]], d = kDecode[p[i + 3]];
        if (a < 0 || b < 0 || c == kBad || d == kBad)
            invalidCharacter();
        *o++ = static_cast<char>((a << 2) | (b >> 4));
        if (c == kPad) {
            if (d != kPad)
                invalidCharacter();
            continue;
        }
        *o++ = static_cast<char>(((b & 15) << 4) | (c >> 2));
        if (d == kPad)
            continue;
        *o++ = static_cast<char>(((c & 3) << 6) | d);
    }
    out.truncate(o - out.constData());
    return out;
}

void Base64EncodeStream(QIODevice &input, QIODevice &output)
{
    char block[45];
    for (;;) {
        const qint64 got = input.read(block, sizeof block);
        if (got <= 0)
            return;
        output.write(base64Encode(QByteArrayView(block, got)));
        if (got != qint64(sizeof block))
            return;
    }
}

void Base64DecodeStream(QIODevice &input, QIODevice &output)
{
    char block[88];
    for (;;) {
        const qint64 got = input.read(block, sizeof block);
        if (got <= 0)
            return;
        output.write(base64Decode(QByteArrayView(block, got)));
        if (got != qint64(sizeof block))
            return;
    }
}

void Base64DecodeToStream(QStringView text, QIODevice *output)
{
    if (!output || text.isEmpty())
        return;
    // Characters beyond Latin-1 cannot be Base64; map them to a byte the decoder rejects.
    QByteArray bytes(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        bytes[i] = u < 128 ? static_cast<char>(u) : '\x01';
    }
    output->write(base64Decode(bytes));
}

QString Base64EncodeString(QByteArrayView bytes)
{
    return QString::fromLatin1(base64Encode(bytes));
}
