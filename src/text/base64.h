// Base64 (RFC 4648 alphabet, "=" padding, no line breaks) between bytes and text.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

class QIODevice;

// Thrown text of every decoding failure.
inline const char *const kInvalidBase64Character = "Invalid Base64 Character";

QByteArray base64Encode(QByteArrayView bytes);
// Strict decoder: characters outside the alphabet, "=" in the first two places of a group,
// a "=" third not followed by "=", and a trailing incomplete group all fail with
// "Invalid Base64 Character". Padding may close a group in the middle of the text.
QByteArray base64Decode(QByteArrayView text);

// Stream forms: 45 bytes in per encoded block, 88 characters in per decoded block,
// each from the stream's current position.
void Base64EncodeStream(QIODevice &input, QIODevice &output);
void Base64DecodeStream(QIODevice &input, QIODevice &output);
// Decodes text into the stream at its current position; nothing happens for an
// absent stream or an empty text.
void Base64DecodeToStream(QStringView text, QIODevice *output);
// Base64 of the given bytes (an empty input gives an empty text).
QString Base64EncodeString(QByteArrayView bytes);
