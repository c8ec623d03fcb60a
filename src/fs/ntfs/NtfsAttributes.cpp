#include "fs/ntfs/NtfsAttributes.h"
#include "fs/ntfs/NtfsRecord.h"

namespace velmora::ntfsfmt {

std::vector<Attribute> collectAttributes(Bytes r) {
    std::vector<Attribute> out;
    RecordHeader h = decodeRecordHeader(r);
    size_t off = h.firstAttribute;
    // Every attribute takes at least 16 bytes, so this loop ends within the record.
    while (fits(r, off, 8)) {
        uint32_t type = le32(r, off);
        if (type == kAttrEnd)
            break;
        uint32_t length = le32(r, off + 4);
        if (length < 0x18 || !fits(r, off, length))
            break;
        Attribute a;
        a.offset = uint32_t(off);
        a.type = type;
        a.length = length;
        a.nonResident = u8(r, off + 8) != 0;
        a.nameLength = u8(r, off + 9);
        a.flags = le16(r, off + 0x0C);
        a.id = le16(r, off + 0x0E);
        Bytes attr = r.subspan(off, length);
        if (!a.nonResident) {
            a.contentLength = le32(attr, 0x10);
            uint32_t co = le16(attr, 0x14);
            a.contentOffset = uint32_t(off) + co;
            a.contentInside = fits(attr, co, a.contentLength);
        } else if (length >= 0x40) {
            a.firstVcn = le64(attr, 0x10);
            a.lastVcn = le64(attr, 0x18);
            uint32_t ro = le16(attr, 0x20);
            a.unitShift = le16(attr, 0x22);
            a.allocatedSize = le64(attr, 0x28);
            a.realSize = le64(attr, 0x30);
            a.initializedSize = le64(attr, 0x38);
            a.runListInside = ro >= 0x40 && ro <= length;
            a.runListOffset = uint32_t(off) + ro;
            a.runListLength = a.runListInside ? length - ro : 0;
        }
        out.push_back(a);
        off += length;
    }
    return out;
}

std::optional<FileName> decodeFileName(Bytes c) {
    if (c.size() < 0x42)
        return std::nullopt;
    FileName f;
    f.parentReference = le64(c, 0x00);
    f.allocatedSize = le64(c, 0x28);
    f.realSize = le64(c, 0x30);
    f.flags = le32(c, 0x38);
    f.nameLength = u8(c, 0x40);
    f.nameSpace = u8(c, 0x41);
    if (!fits(c, 0x42, size_t(f.nameLength) * 2))
        return std::nullopt;
    f.name = utf16leToUtf8(c, 0x42, f.nameLength);
    return f;
}

std::optional<StandardInformation> decodeStandardInformation(Bytes c) {
    if (c.size() < 0x24)
        return std::nullopt;
    StandardInformation s;
    s.creation = le64(c, 0x00);
    s.modification = le64(c, 0x08);
    s.change = le64(c, 0x10);
    s.access = le64(c, 0x18);
    s.fileAttributes = le32(c, 0x20);
    return s;
}

std::vector<AttributeListEntry> decodeAttributeList(Bytes c) {
    std::vector<AttributeListEntry> out;
    size_t off = 0;
    while (fits(c, off, 0x1A)) {
        AttributeListEntry e;
        e.type = le32(c, off);
        e.length = le16(c, off + 4);
        if (e.type == 0 || e.type == kAttrEnd || e.length < 0x1A || !fits(c, off, e.length))
            break;
        e.nameLength = u8(c, off + 6);
        e.startVcn = le64(c, off + 8);
        e.reference = le64(c, off + 0x10);
        e.id = le16(c, off + 0x18);
        out.push_back(e);
        off += e.length;
    }
    return out;
}

} // namespace velmora::ntfsfmt
