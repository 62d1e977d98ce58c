// The ANSI code page of a Chinese Windows system (GBK), both ways, over iconv. Never fails: bytes
// that are no GBK decode to U+FFFD, characters that GBK lacks encode as "?".
#pragma once

#include <QByteArray>
#include <QString>

QByteArray EncodeGbk(const QString &text);
QString DecodeGbk(const QByteArray &bytes);
