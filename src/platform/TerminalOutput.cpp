#include "TerminalOutput.h"

#include "Wording.h"

#include <cstdio>

namespace {

void appendEscape(QByteArray& out, unsigned code)
{
    static const char hex[] = "0123456789ABCDEF";
    out += "\\x";
    out += hex[(code >> 4) & 0xF];
    out += hex[code & 0xF];
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
    const QByteArray bytes = m_held + QByteArray::fromRawData(data, size);
    m_held.clear();
    QByteArray out;
    out.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        const bool last = i + 1 == bytes.size();
        if ((byte == '\r' || byte == 0xC2) && last) {
            m_held = bytes.sliced(i); // CRLF or a C1 control may straddle two writes
            break;
        }
        if (byte == '\r' && bytes[i + 1] == '\n') {
            out += "\r\n";
            ++i;
        } else if (byte == 0xC2 && static_cast<unsigned char>(bytes[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(bytes[i + 1]) <= 0x9F) {
            appendEscape(out, static_cast<unsigned char>(bytes[i + 1]));
            ++i;
        } else if ((byte < 0x20 && byte != '\t' && byte != '\n') || byte == 0x7F) {
            appendEscape(out, byte);
        } else {
            out += char(byte);
        }
    }
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
