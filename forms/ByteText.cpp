#include "ByteText.h"

#include <QStringDecoder>

#include <algorithm>

namespace varnok {
namespace {

bool KeptByATextBox(QChar c)
{
    return c != QChar::LineSeparator && c != QChar::ParagraphSeparator && c.unicode() != 0xFDD0
           && c.unicode() != 0xFDD1;
}

}  // namespace

QString TextOfBytes(std::string_view bytes, TTextEncoding* encoding)
{
    const QByteArrayView view(bytes.data(), static_cast<qsizetype>(bytes.size()));
    // A leading byte-order mark is a character like any other here: dropping
    // it would change the file's bytes.
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom
                                                    | QStringConverter::Flag::Stateless);
    QString text = utf8.decode(view);
    const bool isUtf8 = !utf8.hasError() && std::all_of(text.cbegin(), text.cend(), KeptByATextBox);
    if (encoding)
        *encoding = isUtf8 ? TTextEncoding::Utf8 : TTextEncoding::Latin1;
    return isUtf8 ? text : QString::fromLatin1(view);
}

std::string BytesOfText(QStringView text, TTextEncoding encoding)
{
    const auto inLatin1 = [](QChar c) { return c.unicode() <= 0xFF; };
    const bool latin1 = encoding == TTextEncoding::Latin1
                        && std::all_of(text.begin(), text.end(), inLatin1);
    return (latin1 ? text.toLatin1() : text.toUtf8()).toStdString();
}

}  // namespace varnok
