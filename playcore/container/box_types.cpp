#include "playcore/container/box_types.h"

#include <algorithm>
#include <vector>

#include "playcore/container/byte_order.h"

namespace playcore {

const std::array<std::string_view, 172> KnownBoxTypes = {
    "ainf", "avcn", "bloc", "bpcc", "buff", "bxml", "ccid", "cdef", "clip", "cmap", "co64", "colr",
    "crgn", "crhd", "cslg", "ctab", "ctts", "cvru", "dinf", "dref", "dsgd", "dstg", "edts", "elst",
    "fdel", "feci", "fecr", "fiin", "fire", "fpar", "free", "frma", "ftyp", "gitn", "grpi", "hdlr",
    "hmhd", "hpix", "icnu", "ID32", "idat", "ihdr", "iinf", "iloc", "imap", "imif", "infe", "infu",
    "iods", "iphd", "ipmc", "ipro", "iref", "jP  ", "jp2c", "jp2h", "jp2i", "kmat", "leva", "load",
    "lrcu", "m7hd", "matt", "mdat", "mdhd", "mdia", "mdri", "meco", "mehd", "mere", "meta", "mfhd",
    "mfra", "mfro", "minf", "mjhd", "moof", "moov", "mvcg", "mvci", "mvex", "mvhd", "mvra", "nmhd",
    "ochd", "odaf", "odda", "odhd", "odhe", "odrb", "odrm", "odtt", "ohdr", "padb", "paen", "pclr",
    "pdin", "pitm", "pnot", "prft", "res ", "resc", "resd", "rinf", "saio", "saiz", "sbgp", "schi",
    "schm", "sdep", "sdhd", "sdtp", "sdvp", "segr", "senc", "sgpd", "sidx", "sinf", "skip", "smhd",
    "srmb", "srmc", "srpp", "ssix", "stbl", "stco", "stdp", "sthd", "strd", "stri", "stsc", "stsd",
    "stsg", "stsh", "stss", "stsz", "stts", "styp", "stz2", "subs", "swtc", "tfad", "tfdt", "tfhd",
    "tfma", "tfra", "tibr", "tiri", "tkhd", "traf", "trak", "tref", "trex", "trgr", "trik", "trun",
    "udta", "uinf", "UITS", "ulst", "url ", "uuid", "vmhd", "vwdi", "xml ", "xml ", "udat", "gpsa",
    "gps0", "ICAT", "IDIT", "Xtra",
};

namespace {

// The codes as sorted numbers for a binary search; built once, read-only after.
const std::vector<uint32_t>& SortedCodes() {
    static const std::vector<uint32_t> codes = [] {
        std::vector<uint32_t> v;
        v.reserve(KnownBoxTypes.size());
        for (std::string_view t : KnownBoxTypes)
            v.push_back(LoadBE32(reinterpret_cast<const uint8_t*>(t.data())));
        std::sort(v.begin(), v.end());
        v.erase(std::unique(v.begin(), v.end()), v.end());
        return v;
    }();
    return codes;
}

} // namespace

bool IsKnownBoxType(const uint8_t* p) {
    const auto& codes = SortedCodes();
    return std::binary_search(codes.begin(), codes.end(), LoadBE32(p));
}

bool IsKnownBoxType(std::string_view type) {
    return type.size() == 4 && IsKnownBoxType(reinterpret_cast<const uint8_t*>(type.data()));
}

} // namespace playcore
