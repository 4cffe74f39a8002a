#include "tools/q7pack/brand/BrandDialog.h"

#include "system/io/uByteOrder.h"

namespace {

constexpr uint32_t kSetFont = 0x40;  // DS_SETFONT (DS_SHELLFONT includes it)

class Cursor {
public:
    explicit Cursor(const std::string& data) : data_(data) {}

    std::string Take(size_t n) {
        if (n > data_.size() - pos_) throw EPeFormat("damaged dialog template");
        std::string bytes = data_.substr(pos_, n);
        pos_ += n;
        return bytes;
    }
    uint32_t Word() {
        std::string b = Take(2);
        return LoadLE16(reinterpret_cast<const unsigned char*>(b.data()));
    }
    // A NUL-terminated UTF-16 text.
    std::u16string Text() {
        std::u16string text;
        for (uint32_t c = Word(); c != 0; c = Word()) text += static_cast<char16_t>(c);
        return text;
    }
    // A name-or-ordinal field as stored: 0, 0xFFFF and a number, or a text.
    std::string NameOrOrdinal() {
        size_t start = pos_;
        uint32_t first = Word();
        if (first == 0xFFFF)
            Word();
        else if (first != 0) {
            pos_ = start;
            Text();
        }
        return data_.substr(start, pos_ - start);
    }
    void AlignTo4() { pos_ = std::min(data_.size(), (pos_ + 3) & ~size_t{3}); }
    size_t Pos() const { return pos_; }

private:
    const std::string& data_;
    size_t pos_ = 0;
};

void PutText(std::string& out, const std::u16string& text) {
    for (char16_t c : text) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    out.append(2, '\0');
}

void Pad4(std::string& out) { out.append((4 - out.size() % 4) % 4, '\0'); }

}  // namespace

TDialogTemplate ParseDialog(const std::string& data) {
    Cursor in(data);
    TDialogTemplate dialog;
    dialog.Head = in.Take(26);
    auto head = reinterpret_cast<const unsigned char*>(dialog.Head.data());
    if (LoadLE16(head) != 1 || LoadLE16(head + 2) != 0xFFFF)
        throw EPeFormat("not an extended dialog template");
    uint32_t style = LoadLE32(head + 12);
    uint32_t count = LoadLE16(head + 16);
    dialog.Head += in.NameOrOrdinal();  // menu
    dialog.Head += in.NameOrOrdinal();  // window class
    dialog.Caption = in.Text();
    if (style & kSetFont) {
        size_t start = in.Pos();
        in.Take(6);
        in.Text();
        dialog.Font = data.substr(start, in.Pos() - start);
    }
    for (uint32_t i = 0; i < count; ++i) {
        in.AlignTo4();
        TDialogItem item;
        item.Fixed = in.Take(24);
        item.Id =
            static_cast<int32_t>(LoadLE32(reinterpret_cast<const unsigned char*>(item.Fixed.data()) + 20));
        item.ClassName = in.NameOrOrdinal();
        std::string title = in.NameOrOrdinal();
        item.TitleIsText = title.size() >= 2 && !(title[0] == '\xFF' && title[1] == '\xFF');
        if (item.TitleIsText)
            for (size_t c = 0; c + 3 < title.size(); c += 2)
                item.Title +=
                    static_cast<char16_t>(LoadLE16(reinterpret_cast<const unsigned char*>(title.data()) + c));
        else
            item.TitleOrdinal = title;
        uint32_t extra = in.Word();
        item.Extra = data.substr(in.Pos() - 2, 2) + in.Take(extra);
        dialog.Items.push_back(std::move(item));
    }
    return dialog;
}

std::string WriteDialog(const TDialogTemplate& dialog) {
    std::string out = dialog.Head;
    PutText(out, dialog.Caption);
    out += dialog.Font;
    for (const TDialogItem& item : dialog.Items) {
        Pad4(out);
        out += item.Fixed + item.ClassName;
        if (item.TitleIsText)
            PutText(out, item.Title);
        else
            out += item.TitleOrdinal;
        out += item.Extra;
    }
    return out;
}
