// The header reader and the partial-message writer on arbitrary message files.
#include "FuzzInput.h"
#include "convert/HeaderReader.h"
#include "convert/Mime.h"
#include "convert/PartialMessage.h"

#include <QBuffer>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = FuzzInput::asFile(data, size);
    HeaderReader reader;
    if (reader.LoadMessageFile(path)) {
        reader.GetDate();
        FuzzInput::check(!reader.GetSubject().contains(QChar(0)));
        reader.GetFrom();

        const EmlxEnvelope::Result read = EmlxEnvelope::read(path);
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        const ReassemblyResult result = writeReassembledMessage(path, *read.envelope, out);
        // With nothing to put back, the output is the message itself.
        if (result.ok && !QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size))
                              .contains("X-Apple-Content-Length"))
            FuzzInput::check(out.data() ==
                             QByteArray(reinterpret_cast<const char *>(data) + read.envelope->messageOffset,
                                        read.envelope->messageLength));
    }
    parseMimePartHeaders(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    return 0;
}
