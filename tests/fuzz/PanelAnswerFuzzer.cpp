// A body from the hosting panel, read the ways the deploy run reads its answers:
// the validation message, the status line of a poll, the lenient integers and
// string fields, and the shortened text shown for a failure.

#include "FuzzCheck.h"
#include "deploy/DeployRun.h"
#include "deploy/PanelApi.h"
#include "support/GraphemeText.h"
#include "support/JsonValues.h"
#include "support/TextDecoding.h"

#include <QByteArray>
#include <QJsonObject>
#include <cstddef>
#include <cstdint>

using namespace kestrion;
namespace API = kestrion::PanelApi;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray body(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const std::optional<QJsonObject> answer = parseJsonObject(body);

    if (const std::optional<QString> message = API::messageFromJsonObject(answer)) {
        FUZZ_CHECK(!message->isEmpty());
    }
    FUZZ_CHECK(!DeployRun::humanReadableStatusPollLine(answer).isEmpty());
    if (answer) {
        for (auto field = answer->begin(); field != answer->end(); ++field) {
            API::lenientInteger(field.value());
            if (const std::optional<QString> text = API::stringField(*answer, field.key())) {
                FUZZ_CHECK(*text == field.value().toString());
            }
        }
    }

    // Shortened texts are prefixes that never end inside a surrogate pair.
    const QString text = decodeUtf8OrEmpty(body);
    for (const qsizetype count : {qsizetype(0), qsizetype(1), qsizetype(7), qsizetype(200)}) {
        const QString shortened = kestrion::firstCharacters(text, count);
        FUZZ_CHECK(text.startsWith(shortened));
        FUZZ_CHECK(shortened.isEmpty() || !shortened.back().isHighSurrogate() || shortened.size() == text.size());
    }
    return 0;
}
