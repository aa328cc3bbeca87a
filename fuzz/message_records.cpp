// Message records: create, add insertions (text, numbers, and text taken
// from a record's own insertion list), export and destroy, against a model
// of each record's insertion strings.
#include <string.h>

#include <deque>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "ZAVUtil1.h"

namespace {

struct Record {
    ZAVMsg* msg;
    DWORD id;
    std::vector<std::u16string> insertions;
};

// The list as stored: each string terminated, then one more zero.
void CheckInsertions(const WCHAR* list, DWORD bytes, const std::vector<std::u16string>& expected) {
    if (expected.empty()) {
        FUZZ_CHECK(bytes == 0);
        return;
    }
    std::u16string flat;
    for (const auto& s : expected) flat += s + u'\0';
    flat += u'\0';
    FUZZ_CHECK(bytes == flat.size() * sizeof(WCHAR));
    FUZZ_CHECK(memcmp(list, flat.data(), bytes) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    FuzzedDataProvider data(bytes, size);
    ZAVLinkAnchor list = {};
    std::deque<Record> records;  // in list order
    for (int step = 0; step < 48 && data.remaining_bytes() > 0; ++step) {
        const int op = data.ConsumeIntegralInRange(0, 5);
        const size_t which = records.empty() ? 0 : data.ConsumeIntegralInRange<size_t>(0, records.size() - 1);
        switch (op) {
            case 0: {
                const DWORD id = data.ConsumeIntegral<DWORD>();
                const auto category = static_cast<ZAVMsgCategory>(data.ConsumeIntegral<int32_t>());
                ZAVMsg* msg = ZAV_MsgCreate(&list, id, category, data.ConsumeIntegral<WORD>(), 1, 2, 3, nullptr);
                FUZZ_CHECK(msg != nullptr && msg->MsgId == id && msg->Category == category);
                records.push_back({msg, id, {}});
                break;
            }
            case 1: {
                if (records.empty()) break;
                const std::u16string text = fuzz::TakeWide(data, 40);
                FUZZ_CHECK(ZAV_MsgAddInsertion(records[which].msg, text.c_str()) == 0);
                records[which].insertions.push_back(text);
                break;
            }
            case 2: {
                if (records.empty()) break;
                Record& record = records[which];
                const LONG value = data.ConsumeIntegral<LONG>();
                const DWORD radix = data.PickValueInArray({2u, 8u, 10u, 16u});
                FUZZ_CHECK(ZAV_MsgAddInsertion(record.msg, value, radix) == 0);
                // The new string follows those the model knows (which may be empty).
                const WCHAR* last = record.msg->pInsertions;
                for (const auto& s : record.insertions) last += s.size() + 1;
                record.insertions.emplace_back(last);
                if (radix == 10) {
                    const std::string digits = std::to_string(value);
                    FUZZ_CHECK(record.insertions.back() == std::u16string(digits.begin(), digits.end()));
                }
                break;
            }
            case 3: {
                // Text that lives in the record's own insertion list.
                if (records.empty() || records[which].insertions.empty()) break;
                Record& record = records[which];
                const size_t index = data.ConsumeIntegralInRange<size_t>(0, record.insertions.size() - 1);
                const WCHAR* s = record.msg->pInsertions;
                for (size_t i = 0; i < index; ++i) s += record.insertions[i].size() + 1;
                const size_t skip = data.ConsumeIntegralInRange<size_t>(0, record.insertions[index].size());
                FUZZ_CHECK(ZAV_MsgAddInsertion(record.msg, s + skip) == 0);
                record.insertions.push_back(record.insertions[index].substr(skip));
                break;
            }
            case 4: {
                ZAVMsg* flat = ZAV_MsgExport(&list);
                if (records.empty()) {
                    FUZZ_CHECK(flat == nullptr);
                    break;
                }
                FUZZ_CHECK(flat != nullptr && flat->MsgId == records.front().id);
                const auto* base = reinterpret_cast<const unsigned char*>(flat);
                const auto offset = reinterpret_cast<uintptr_t>(flat->pInsertions);
                const WCHAR* inserted = offset == 0 ? nullptr : reinterpret_cast<const WCHAR*>(base + offset);
                CheckInsertions(inserted, flat->InsertionBytes, records.front().insertions);
                ZAV_MsgDestroy(nullptr, flat);
                records.pop_front();
                break;
            }
            default:
                if (records.empty()) break;
                ZAV_MsgDestroy(&list, records[which].msg);
                records.erase(records.begin() + static_cast<long>(which));
                break;
        }
        for (const Record& record : records)
            CheckInsertions(record.msg->pInsertions, record.msg->InsertionBytes, record.insertions);
        FUZZ_CHECK(list.Count == records.size());
    }
    ZAV_MsgDestroyAll(&list);
    return 0;
}
