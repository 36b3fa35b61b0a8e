#include "TerminalOutput.h"

#include "Wording.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace {

void appendEscape(QByteArray& out, unsigned code)
{
    static const char hex[] = "0123456789ABCDEF";
    out += "\\x";
    out += hex[(code >> 4) & 0xF];
    out += hex[code & 0xF];
}

// Whether a byte goes across as it stands: a C1 control's lead byte, a CR and the other
// controls but tab and line feed are looked at.
bool passes(unsigned char byte)
{
    static const std::array<bool, 256> table = [] {
        std::array<bool, 256> passing{};
        for (int b = 0; b < 256; ++b)
            passing[size_t(b)] = (b >= 0x20 && b != 0x7F && b != 0xC2) || b == '\t' || b == '\n';
        return passing;
    }();
    return table[byte];
}

} // namespace

TerminalOutput::TerminalOutput(QIODevice& target) : m_target(target)
{
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

TerminalOutput::~TerminalOutput()
{
    // A lone CR or lead byte at the very end is shown for what it is.
    if (!m_held.isEmpty()) {
        QByteArray out;
        for (const char c : std::as_const(m_held))
            appendEscape(out, static_cast<unsigned char>(c));
        m_target.write(out);
    }
}

qint64 TerminalOutput::writeData(const char* data, qint64 size)
{
    QByteArray joined;
    QByteArrayView bytes(data, size);
    if (!m_held.isEmpty()) {
        joined = m_held + bytes;
        bytes = joined;
        m_held.clear();
    }
    // Runs of bytes that pass as they are go across in one piece: an export of a million rows
    // has hardly anything else, and a write of nothing else goes across as it came.
    const qsizetype first = std::find_if(bytes.begin(), bytes.end(),
                                         [](char c) { return !passes(static_cast<unsigned char>(c)); }) -
                            bytes.begin();
    if (first == bytes.size())
        return m_target.write(bytes.data(), bytes.size()) == bytes.size() ? size : -1;
    QByteArray out;
    out.reserve(bytes.size());
    qsizetype plain = 0;
    for (qsizetype i = first; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (passes(byte))
            continue;
        out += bytes.sliced(plain, i - plain);
        plain = i + 1;
        const bool last = i + 1 == bytes.size();
        if ((byte == '\r' || byte == 0xC2) && last) {
            m_held = bytes.sliced(i).toByteArray(); // CRLF or a C1 control may straddle two writes
            break;
        }
        const auto next = last ? 0u : static_cast<unsigned char>(bytes[i + 1]);
        if (byte == '\r' && next == '\n') {
            out += "\r\n";
            plain = ++i + 1;
        } else if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {
            appendEscape(out, next);
            plain = ++i + 1;
        } else if (byte == 0xC2) {
            out += char(byte);
        } else {
            appendEscape(out, byte);
        }
    }
    if (m_held.isEmpty())
        out += bytes.sliced(plain);
    if (m_target.write(out) != out.size())
        return -1;
    return size;
}

void TerminalOutput::escapeQtMessages()
{
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& message) {
        const QByteArray line = (oneLine(qFormatLogMessage(type, context, message)) + u'\n').toUtf8();
        std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
        std::fflush(stderr);
    });
}
