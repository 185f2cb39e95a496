// The .emlx envelope reader on arbitrary bytes: the message range must lie inside the file.
#include "FuzzInput.h"
#include "convert/EmlxEnvelope.h"
#include "platform/SourceFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = FuzzInput::asFile(data, size);
    const EmlxEnvelope::Result result = EmlxEnvelope::read(path);
    FuzzInput::check(result.envelope.has_value() != !result.error.isEmpty());
    if (!result.envelope)
        return 0;
    const EmlxEnvelope &envelope = *result.envelope;
    FuzzInput::check(envelope.fileSize == qint64(size));
    FuzzInput::check(envelope.messageOffset >= 0 && envelope.messageLength > 0);
    FuzzInput::check(envelope.messageOffset + envelope.messageLength <= envelope.fileSize);
    FuzzInput::check(envelope.propertyListOffset < 0 ||
                     envelope.propertyListOffset >= envelope.messageOffset + envelope.messageLength);
    SourceFile file(path);
    if (file.open())
        readPropertyListDates(file, envelope);
    return 0;
}
