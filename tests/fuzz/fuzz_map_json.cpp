// Fuzz target: the map bridge's flat JSON reading rule on any bytes (the
// messages a page posts), and the host object's dispatch of a call from the
// page ("method\nargs"). Stored keys and values never hold the characters the
// scanner treats as structure, and what the holder writes reads back alike.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "kinetta/map/host_object.h"
#include "kinetta/map/json_holder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    kinetta::map::CJsonHolder holder;
    holder.Read(text);
    for (const auto& [key, entry] : holder.Entries()) {
        for (std::string_view part : {std::string_view(key), std::string_view(entry.first)})
            if (part.find_first_of("\"{},:") != std::string_view::npos) __builtin_trap();
        if (entry.second != "," && !entry.second.empty()) __builtin_trap();
    }
    kinetta::map::CJsonHolder again;
    again.Read(holder.Write());
    for (const auto& [key, entry] : again.Entries())
        if (holder.Value(key) != entry.first) __builtin_trap();

    const size_t cut = text.find('\n');
    const std::string_view method = text.substr(0, cut);
    const std::string_view args = cut == std::string_view::npos ? "" : text.substr(cut + 1);
    kinetta::map::HostWebViewObject host(nullptr, nullptr, nullptr);
    std::string answer;
    host.Invoke(method, args, &answer);
    return 0;
}
