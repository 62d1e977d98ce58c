// 读取模块's CSV reader: the record parser and the reading of a CSV file's records.
#include "csv_read.h"

#include <algorithm>

#include <QDir>
#include <QFile>
#include <QStringDecoder>

#include "exchange/import_data.h"
#include "platform/gbk.h"
#include "platform/prompter.h"
#include "platform/regular_file.h"

namespace {

constexpr char16_t kSectionMark = u'ζ';
constexpr char16_t kCommaMark = u'ξ';
// A record still open after this many lines joined to it is given up.
constexpr int kMaxJoinedLines = 101;
// The preview shows this many records at most, and no more cells than kPreviewCells, each up to
// kPreviewCellChars characters.
constexpr int kPreviewRecords = 201;
constexpr int kPreviewCells = 330000;
// The file is read and decoded this many bytes at a time.
constexpr qint64 kChunkBytes = 1 << 16;
// The most bytes of GBK held back undecoded while no place to cut them is found.
constexpr qsizetype kMaxGbkCarry = qsizetype(4) << 20;
// The byte-order mark of UTF-8, left out at the start of a file.
const QByteArray kBom("\xEF\xBB\xBF");

// Splits one record's text into its fields as the text comes, a piece at a time, in one pass. A run
// of quotes of odd length opens or closes a quoted section, as a "ζ" does; the other quotes of a run
// are doubled quotes, each pair standing for one quote. A comma separates fields outside the sections
// and is kept inside them; a "ξ" is a comma. Fields past the first `kept` are counted but not kept,
// and a field keeps at most its first maxFieldChars characters.
class FieldSplitter {
public:
    FieldSplitter(int kept, qsizetype maxFieldChars) : m_kept(kept), m_maxFieldChars(maxFieldChars) {}

    // Starts a record; room is made for reserve characters of fields.
    void Reset(qsizetype reserve = 0)
    {
        m_out.clear();
        m_out.reserve(reserve);
        m_fields = 1;
        m_fieldChars = 0;
        m_tooLong = 0;
        m_run = 0;
        m_open = false;
    }

    void Feed(QStringView text)
    {
        const char16_t *chars = text.utf16();
        const qsizetype n = text.size();
        for (qsizetype i = 0; i < n;) {
            const char16_t c = chars[i];
            if (c == u'"') {
                ++m_run;
                ++i;
                continue;
            }
            EndRun();
            qsizetype j = i;
            while (j < n && !IsMarker(chars[j]))
                ++j;
            if (j > i) {
                Emit(text.sliced(i, j - i));
                i = j;
                continue;
            }
            if (c == u',' && !m_open)
                NextField();
            else if (c == u',' || c == kCommaMark)
                Emit(u",");
            else
                m_open = !m_open;  // a section mark
            ++i;
        }
    }

    // Ends the run of quotes being read: a run ends at a line's end.
    void EndRun()
    {
        if (m_run == 0)
            return;
        if (m_run % 2 == 1)
            m_open = !m_open;
        const qsizetype quotes = m_run / 2;
        m_run = 0;
        const qsizetype kept = std::clamp(m_maxFieldChars - m_fieldChars, qsizetype(0), quotes);
        if (m_fields <= m_kept && kept > 0)
            m_out.append(QString(kept, u'"'));
        Count(quotes);
    }

    // The fields joined by kCsvFieldSeparator; "" while a section is open, and for a text that
    // yields nothing.
    QString Result() const { return m_open ? QString() : m_out; }
    bool Converted() const { return !m_open && (m_fields > 1 || m_fieldChars > 0); }
    // The first field (from 1) longer than maxFieldChars, 0 when there is none.
    int TooLongField() const { return m_tooLong; }

private:
    static bool IsMarker(char16_t c) { return c == u'"' || c == u',' || c == kSectionMark || c == kCommaMark; }

    void Emit(QStringView s)
    {
        const qsizetype room = m_maxFieldChars - m_fieldChars;
        if (m_fields <= m_kept && room > 0)
            m_out.append(s.first(std::min(room, s.size())));
        Count(s.size());
    }

    void Count(qsizetype chars)
    {
        m_fieldChars += chars;
        if (m_fieldChars > m_maxFieldChars && m_tooLong == 0)
            m_tooLong = m_fields;
    }

    void NextField()
    {
        ++m_fields;
        m_fieldChars = 0;
        if (m_fields <= m_kept)
            m_out += kCsvFieldSeparator;
    }

    const int m_kept;
    const qsizetype m_maxFieldChars;
    QString m_out;
    int m_fields = 1;            // the fields begun
    qsizetype m_fieldChars = 0;  // the characters of the field being read
    int m_tooLong = 0;
    qsizetype m_run = 0;  // the quotes of the run being read
    bool m_open = false;  // inside a quoted section
};

// The lines of a CSV file, read and decoded a chunk at a time. Lines end at CR LF, LF or a lone CR.
// With appendLineEnd the text read ends with a line end more (so it has an empty last line), without
// it a line end at the end of the text starts no line, and a text of one line end has no line.
class CsvLines {
public:
    CsvLines(bool appendLineEnd, bool gbk) : m_appendLineEnd(appendLineEnd), m_gbk(gbk) {}

    // Opens the file, refusing at once what is no regular file or is too large; false with out's
    // failure filled in.
    bool Open(const QString &path, CsvRecords &out)
    {
        m_path = path;
        RegularFile file;
        switch (file.Open(path)) {
        case FileOpening::Opened:
            break;
        case FileOpening::Unreadable:
            return Fail(out, CsvFailure::Unreadable);
        case FileOpening::NotAFile:
            return Fail(out, CsvFailure::NotAFile);
        }
        const qint64 size = file.Size();
        if (size > kMaxCsvFileBytes) {
            m_bytes = size;
            return Fail(out, CsvFailure::TooLarge);
        }
        if (!file.HandTo(m_file))
            return Fail(out, CsvFailure::Unreadable);
        if (!m_appendLineEnd && size <= qint64(kBom.size()) + 2) {
            QByteArray all = m_file.peek(size);
            if (all.startsWith(kBom))
                all.remove(0, kBom.size());
            QStringDecoder utf8(QStringDecoder::Utf8);
            const QString text = m_gbk ? DecodeGbk(all) : QString(utf8.decode(all));
            m_ended = text == u"\r\n" || text == u"\n" || text == u"\r";
        }
        return true;
    }

    // False, with out's failure filled in, when a read failed or ran past kMaxCsvFileBytes.
    bool Succeeded(CsvRecords &out) const { return m_failure == CsvFailure::None || Fail(out, m_failure); }
    // Whether the text read so far is no clean UTF-8 (read as UTF-8).
    bool Misdecoded() const { return m_misdecoded; }

    // True when a line is left.
    bool More()
    {
        if (Fill())
            return true;
        if (m_emptyLinesLeft < 0)
            m_emptyLinesLeft = m_appendLineEnd ? 2 : 0;
        return m_emptyLinesLeft > 0;
    }

    // True when the next line (there is one) is empty.
    bool NextEmpty() const { return m_pos >= m_text.size() || m_text[m_pos] == u'\r' || m_text[m_pos] == u'\n'; }

    // Passes the next line, which is empty.
    void SkipEmpty()
    {
        if (m_pos >= m_text.size())
            --m_emptyLinesLeft;
        else
            PassLineEnd();
    }

    // Feeds the next line (there is one) to the splitter and moves past its line end.
    void Feed(FieldSplitter &split)
    {
        if (m_pos >= m_text.size() && m_emptyLinesLeft > 0) {
            --m_emptyLinesLeft;
            split.EndRun();
            return;
        }
        while (Fill()) {
            const auto *chars = reinterpret_cast<const char16_t *>(m_text.constData());
            qsizetype end = m_pos;
            while (end < m_text.size() && chars[end] != u'\r' && chars[end] != u'\n')
                ++end;
            split.Feed(QStringView(m_text).sliced(m_pos, end - m_pos));
            m_pos = end;
            if (end < m_text.size()) {
                PassLineEnd();
                split.EndRun();
                return;
            }
        }
        // The text ends without a line end.
        m_emptyLinesLeft = m_appendLineEnd ? 1 : 0;
        split.EndRun();
    }

    // Reads the rest of the file; true when the whole of it decodes cleanly.
    bool RestDecodes()
    {
        while (!m_misdecoded && ReadChunk()) {
        }
        return !m_misdecoded;
    }

private:
    // True when decoded text is left to read, reading chunks as needed.
    bool Fill()
    {
        while (m_pos >= m_text.size()) {
            if (!ReadChunk())
                return false;
        }
        return true;
    }

    // Reads and decodes the next chunk into the text; false at the file's end or when it fails.
    bool ReadChunk()
    {
        if (m_ended)
            return false;
        QByteArray bytes = m_file.read(kChunkBytes);
        if (bytes.isEmpty()) {
            m_ended = true;
            if (m_file.error() != QFileDevice::NoError)
                m_failure = CsvFailure::Unreadable;
            if (m_carry.isEmpty())
                return false;
        }
        m_bytes += bytes.size();
        if (m_bytes > kMaxCsvFileBytes) {
            m_ended = true;
            m_failure = CsvFailure::TooLarge;
            return false;
        }
        if (m_bytes == bytes.size() && bytes.startsWith(kBom))
            bytes.remove(0, kBom.size());
        if (m_gbk) {
            bytes.prepend(m_carry);
            const qsizetype cut = m_ended ? bytes.size() : GbkCut(bytes);
            m_carry = bytes.mid(cut);
            bytes.truncate(cut);
            m_text = DecodeGbk(bytes);
        } else {
            m_text = m_utf8.decode(bytes);
            m_misdecoded = m_misdecoded || m_utf8.hasError();
        }
        m_pos = 0;
        if (m_skipLf && !m_text.isEmpty()) {
            if (m_text[0] == u'\n')
                m_pos = 1;
            m_skipLf = false;
        }
        return true;
    }

    // How much of bytes of GBK to decode now so that the pieces decode as the whole would: up to a byte
    // below 0x40, which never belongs to a two-byte character; failing one, nothing while less than
    // kMaxGbkCarry is held back (a field longer than that is too long anyway), else up to the last
    // whole pair.
    static qsizetype GbkCut(const QByteArray &bytes)
    {
        for (qsizetype i = bytes.size(); i > 0; --i) {
            if (static_cast<unsigned char>(bytes[i - 1]) < 0x40)
                return i;
        }
        if (bytes.size() < kMaxGbkCarry)
            return 0;
        qsizetype i = 0;
        while (i < bytes.size()) {
            const qsizetype width = static_cast<unsigned char>(bytes[i]) >= 0x81 ? 2 : 1;
            if (i + width > bytes.size())
                break;
            i += width;
        }
        return i;
    }

    // Moves past the line end at the position; a CR that ends the text read so far may be the first
    // half of a CR LF.
    void PassLineEnd()
    {
        const bool cr = m_text[m_pos++] == u'\r';
        if (cr && m_pos < m_text.size() && m_text[m_pos] == u'\n')
            ++m_pos;
        else if (cr && m_pos == m_text.size())
            m_skipLf = true;
    }

    bool Fail(CsvRecords &out, CsvFailure failure) const
    {
        out.records.clear();
        out.failure = failure;
        const QString path = QDir::toNativeSeparators(m_path);
        switch (failure) {
        case CsvFailure::NotAFile:
            out.errorNumber = QFileDevice::OpenError;
            out.errorText = QStringLiteral("不是普通文件，无法读取：") + path;
            break;
        case CsvFailure::TooLarge:
            out.errorNumber = QFileDevice::OpenError;
            out.errorText = QStringLiteral("文件大小为") + QString::number(m_bytes / 1048576.0, 'f', 1) +
                            QStringLiteral(" MB，超过") + QString::number(kMaxCsvFileBytes >> 20) +
                            QStringLiteral(" MB，无法读取：") + path;
            break;
        default:
            out.errorNumber = m_file.isOpen() ? QFileDevice::ReadError : QFileDevice::OpenError;
            out.errorText = QStringLiteral("无法读取文件：") + path;
            break;
        }
        return false;
    }

    const bool m_appendLineEnd;
    const bool m_gbk;
    QString m_path;
    QFile m_file;
    qint64 m_bytes = 0;  // read so far, or the size of a file refused as too large
    bool m_ended = false;
    CsvFailure m_failure = CsvFailure::None;
    QStringDecoder m_utf8{QStringDecoder::Utf8};
    bool m_misdecoded = false;
    QByteArray m_carry;  // GBK bytes held back for the next chunk
    QString m_text;      // the decoded chunk being read
    qsizetype m_pos = 0;
    bool m_skipLf = false;
    int m_emptyLinesLeft = -1;  // after the text's end; -1 until the end is reached
};

// Reads the records numbered first..last of the file, each up to its kept-th field, a field up to its
// fieldChars-th character. The encoding is UTF-8 when the text read (the whole file with wholeFile)
// decodes cleanly, else GBK.
bool ReadRecords(const QString &path, bool appendLineEnd, bool wholeFile, int kept, qsizetype fieldChars, int first,
                 int last, CsvRecords &out)
{
    for (const bool gbk : {false, true}) {
        out = CsvRecords();
        out.first = first;
        CsvLines lines(appendLineEnd, gbk);
        if (!lines.Open(path, out))
            return false;
        FieldSplitter split(kept, fieldChars);
        while (out.count < last && !lines.Misdecoded() && lines.More()) {
            const int number = ++out.count;
            QString fields;
            int tooLong = 0;
            if (lines.NextEmpty()) {
                lines.SkipEmpty();
            } else {
                split.Reset();
                lines.Feed(split);
                for (int joins = 0; !split.Converted() && joins < kMaxJoinedLines; ++joins) {
                    split.Feed(u"\r\n");
                    if (lines.More())
                        lines.Feed(split);
                    else
                        split.Feed(u" ");
                    split.EndRun();
                }
                fields = split.Result();
                tooLong = split.TooLongField();
                if (fields.isEmpty() && number >= first)
                    out.unclosed.push_back(number);
            }
            if (number >= first) {
                out.records << fields;
                if (tooLong > 0)
                    out.tooLong.emplace_back(number, tooLong);
            }
        }
        const bool decoded = gbk || (!lines.Misdecoded() && (!wholeFile || lines.RestDecodes()));
        if (!lines.Succeeded(out))
            return false;
        if (decoded)
            return true;
    }
    return false;
}

}  // namespace

QString CsvLineToFields(const QString &line)
{
    FieldSplitter split(INT_MAX, line.size());
    // Each comma between fields becomes two characters.
    split.Reset(line.size() + line.count(u','));
    split.Feed(line);
    split.EndRun();
    return split.Result();
}

bool ReadCsvFile(const QString &path, CsvRecords &out, int first, int last)
{
    out = CsvRecords();
    out.first = std::max(first, 1);
    if (!IsCsvPath(path))
        return true;
    return ReadRecords(path, true, true, kCsvImportFields, kMaxCsvFieldChars, out.first, last, out);
}

void ReadCsvPreview(FlexGrid &grid, const QString &path)
{
    if (!IsCsvPath(path))
        return;
    const int most = std::min(kPreviewRecords, kPreviewCells / std::max(1, grid.Cols()));
    CsvRecords read;
    if (!ReadRecords(path, false, false, std::max(0, grid.Cols() - 1), kPreviewCellChars, 1, most, read)) {
        if (read.failure == CsvFailure::NotAFile || read.failure == CsvFailure::TooLarge)
            MsgBox(read.errorText);
        return;
    }
    GridRedrawPause pause(grid);
    int row = grid.Rows();
    grid.SetRows(row + static_cast<int>(read.records.size()));
    for (qsizetype n = 0; n < read.records.size(); ++n, ++row) {
        grid.SetTextMatrix(row, 0, QString::number(n + 1));
        if (read.records[n].isEmpty())
            continue;
        const QStringList fields = read.records[n].split(kCsvFieldSeparator);
        for (int c = 1; c < grid.Cols() && c <= fields.size(); ++c)
            grid.SetTextMatrix(row, c, fields[c - 1]);
    }
}
