#include "TextDecoding.h"

QString DecodeOrLatin1(QByteArrayView bytes, QStringDecoder::Encoding encoding)
{
    bool ascii = true;
    for (qsizetype i = 0; i < bytes.size() && ascii; ++i)
        ascii = static_cast<unsigned char>(bytes[i]) < 0x80;
    if (ascii)
        return QString::fromLatin1(bytes);
    QStringDecoder decoder(encoding, QStringDecoder::Flag::Stateless);
    QString text = decoder(bytes);
    if (decoder.hasError())
        return QString::fromLatin1(bytes);
    return text;
}
