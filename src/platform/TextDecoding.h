#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>

// Bytes as text in an encoding; bytes that are not valid in it (written by another program in
// a Windows code page, or by an earlier version in Latin-1) are read one character a byte
// rather than lost. Plain ASCII takes the short way.
QString DecodeOrLatin1(QByteArrayView bytes, QStringDecoder::Encoding encoding = QStringDecoder::Utf8);
