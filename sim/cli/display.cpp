#include "display.h"

#include <iconv.h>

#include <cstdio>
#include <iostream>
#include <string>

namespace kambio::sim {

std::string ForTerminal(std::string_view cp932, bool toUtf8) {
    if (!toUtf8) return std::string(cp932);
    iconv_t converter = iconv_open("UTF-8", "CP932");
    if (converter == reinterpret_cast<iconv_t>(-1)) return std::string(cp932);
    std::string input(cp932);
    std::string output(input.size() * 3 + 4, '\0');
    char* in = input.data();
    std::size_t inLeft = input.size();
    char* out = output.data();
    std::size_t outLeft = output.size();
    while (inLeft > 0) {
        if (iconv(converter, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1)) {
            // A byte that is no code page 932 text: show it as it is.
            if (outLeft == 0) break;
            *out++ = *in++;
            --inLeft;
            --outLeft;
        }
    }
    iconv_close(converter);
    output.resize(output.size() - outLeft);
    return output;
}

std::string ButtonsOf(UINT flags) {
    switch (flags & 0x0F) {
        case MB_OKCANCEL: return "OK/Cancel";
        case MB_YESNO: return "Yes/No";
        default: return "OK";
    }
}

std::string IconOf(UINT flags) {
    switch (flags & 0xF0) {
        case MB_ICONERROR: return "error";
        case MB_ICONQUESTION: return "question";
        case MB_ICONWARNING: return "warning";
        case MB_ICONINFORMATION: return "information";
        default: return "none";
    }
}

namespace {
std::string AnswerName(int answer) {
    switch (answer) {
        case IDOK: return "OK";
        case IDCANCEL: return "Cancel";
        case IDYES: return "Yes";
        case IDNO: return "No";
        case 0: return "no answer";
        default: return "button " + std::to_string(answer);
    }
}

std::string LinesOf(std::string text) {
    // The box shows line breaks; "\r\n" and "\n" both end a line.
    std::string shown;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        shown += text[i] == '\r' ? '\n' : text[i];
    }
    return shown;
}
}  // namespace

std::string DescribeBox(const BoxRecord& box, bool toUtf8) {
    std::string text = "+-- box \"" + ForTerminal(box.caption, toUtf8) + "\" [" + IconOf(box.flags) +
                       ", " + ButtonsOf(box.flags) + "]\n";
    std::string body = LinesOf(ForTerminal(box.text, toUtf8));
    std::size_t start = 0;
    while (start <= body.size()) {
        std::size_t end = body.find('\n', start);
        if (end == std::string::npos) end = body.size();
        text += "| " + body.substr(start, end - start) + "\n";
        start = end + 1;
    }
    text += "+-- answer: " + AnswerName(box.answer) + "\n";
    return text;
}

int AskTerminal(const BoxRecord& box, bool toUtf8) {
    BoxRecord shown = box;
    shown.answer = 0;
    std::string description = DescribeBox(shown, toUtf8);
    description.erase(description.rfind("+-- answer"));
    std::fputs(description.c_str(), stderr);
    std::string buttons = ButtonsOf(box.flags);
    for (;;) {
        std::fprintf(stderr, "+-- %s? ", buttons == "Yes/No" ? "[y]es or [n]o" :
                                         buttons == "OK/Cancel" ? "[o]k or [c]ancel" : "Enter for OK");
        std::fflush(stderr);
        std::string line;
        if (!std::getline(std::cin, line)) return 0;
        char c = line.empty() ? '\0' : static_cast<char>(std::tolower(static_cast<unsigned char>(line[0])));
        if (buttons == "Yes/No" && c == 'y') return IDYES;
        if (buttons == "Yes/No" && c == 'n') return IDNO;
        if (buttons == "OK/Cancel" && c == 'o') return IDOK;
        if (buttons == "OK/Cancel" && c == 'c') return IDCANCEL;
        if (buttons == "OK") return IDOK;
    }
}

}  // namespace kambio::sim
