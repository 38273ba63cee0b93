#include "FatalSignalHandler.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <execinfo.h>
#include <fcntl.h>
#include <limits.h>
#include <ucontext.h>
#include <unistd.h>

namespace FatalSignalHandler {
namespace {

constexpr int fatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGTRAP};
constexpr int maxFrames = 128;
constexpr int maxMappings = 8192;

// Everything the handler needs, prepared before any crash: the handler allocates nothing.
char g_directory[PATH_MAX];
char g_fileNamePrefix[128];
char g_headerStart[4096];
char g_bodyStart[1024];
char g_output[512 * 1024];
char g_maps[1024 * 1024];
char g_alternateStack[64 * 1024];
volatile sig_atomic_t g_handling = 0;

struct Mapping {
    uintptr_t start;
    uintptr_t end;
    uintptr_t fileOffset;
    const char *path;
    size_t pathLength;
    int imageIndex;
};
Mapping g_mappings[maxMappings];

// A fixed buffer that silently stops at its end: a cut report still ends up on disk.
struct Writer {
    char *buffer;
    size_t capacity;
    size_t length = 0;

    void put(char c)
    {
        if (length + 1 < capacity)
            buffer[length++] = c;
    }
    void put(const char *text) { put(text, strlen(text)); }
    void put(const char *text, size_t count)
    {
        for (size_t i = 0; i < count; ++i)
            put(text[i]);
    }
    void putUnsigned(uint64_t value, int minimumDigits = 1)
    {
        char digits[24];
        int count = 0;
        do {
            digits[count++] = char('0' + value % 10);
            value /= 10;
        } while (value != 0 || count < minimumDigits);
        while (count > 0)
            put(digits[--count]);
    }
    void putJsonString(const char *text, size_t count)
    {
        static const char hex[] = "0123456789abcdef";
        put('"');
        for (size_t i = 0; i < count; ++i) {
            const unsigned char c = static_cast<unsigned char>(text[i]);
            if (c == '"' || c == '\\') {
                put('\\');
                put(char(c));
            } else if (c < 0x20) {
                put("\\u00");
                put(hex[c >> 4]);
                put(hex[c & 0xf]);
            } else {
                put(char(c));
            }
        }
        put('"');
    }
};

bool copyInto(char *target, size_t capacity, const QByteArray &value)
{
    if (size_t(value.size()) >= capacity)
        return false;
    memcpy(target, value.constData(), size_t(value.size()));
    target[value.size()] = '\0';
    return true;
}

// A JSON object without its closing brace, so the handler can add the fields only a crash knows.
QByteArray openObject(const QJsonObject &object)
{
    QByteArray json = QJsonDocument(object).toJson(QJsonDocument::Compact);
    json.chop(1);
    return json;
}

const char *signalName(int signal)
{
    switch (signal) {
    case SIGSEGV: return "SIGSEGV";
    case SIGBUS: return "SIGBUS";
    case SIGILL: return "SIGILL";
    case SIGFPE: return "SIGFPE";
    case SIGABRT: return "SIGABRT";
    case SIGTRAP: return "SIGTRAP";
    }
    return "SIGNAL";
}

// The kernel's reason for the signal, where it has a name worth reporting.
const char *exceptionType(int signal, int code)
{
    if (code == SI_USER || code == SI_TKILL || code == SI_QUEUE)
        return "SI_USER";
    switch (signal) {
    case SIGSEGV: return code == SEGV_ACCERR ? "SEGV_ACCERR" : "SEGV_MAPERR";
    case SIGBUS: return code == BUS_ADRALN ? "BUS_ADRALN" : code == BUS_OBJERR ? "BUS_OBJERR" : "BUS_ADRERR";
    case SIGILL: return code == ILL_PRVOPC ? "ILL_PRVOPC" : "ILL_ILLOPC";
    case SIGFPE: return code == FPE_INTDIV ? "FPE_INTDIV" : code == FPE_INTOVF ? "FPE_INTOVF" : "FPE_FLTINV";
    }
    return "Unknown";
}

uintptr_t programCounter(void *context)
{
    const auto *uc = static_cast<const ucontext_t *>(context);
#if defined(__x86_64__)
    return uintptr_t(uc->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
    return uintptr_t(uc->uc_mcontext.pc);
#else
    (void)uc;
    return 0;
#endif
}

uintptr_t parseHex(const char *&cursor, const char *end)
{
    uintptr_t value = 0;
    for (; cursor < end; ++cursor) {
        const char c = *cursor;
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (digit < 0)
            break;
        value = value * 16 + uintptr_t(digit);
    }
    return value;
}

const char *skipFields(const char *cursor, const char *end, int fields)
{
    for (int i = 0; i < fields && cursor < end; ++i) {
        while (cursor < end && *cursor != ' ' && *cursor != '\n')
            ++cursor;
        while (cursor < end && *cursor == ' ')
            ++cursor;
    }
    return cursor;
}

// "/proc/self/maps": start-end perms offset dev inode path; only file-backed lines are kept.
int readMappings()
{
    const int fd = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    size_t length = 0;
    for (;;) {
        const ssize_t got = read(fd, g_maps + length, sizeof g_maps - 1 - length);
        if (got <= 0)
            break;
        length += size_t(got);
    }
    close(fd);
    int count = 0;
    const char *cursor = g_maps;
    const char *end = g_maps + length;
    while (cursor < end && count < maxMappings) {
        const char *lineEnd = cursor;
        while (lineEnd < end && *lineEnd != '\n')
            ++lineEnd;
        Mapping mapping{};
        mapping.start = parseHex(cursor, lineEnd);
        ++cursor;
        mapping.end = parseHex(cursor, lineEnd);
        cursor = skipFields(cursor, lineEnd, 2);
        mapping.fileOffset = parseHex(cursor, lineEnd);
        cursor = skipFields(cursor, lineEnd, 3);
        if (cursor < lineEnd && *cursor == '/') {
            mapping.path = cursor;
            mapping.pathLength = size_t(lineEnd - cursor);
            mapping.imageIndex = -1;
            g_mappings[count++] = mapping;
        }
        cursor = lineEnd + 1;
    }
    return count;
}

Mapping *mappingOf(uintptr_t address, int mappingCount)
{
    for (int i = 0; i < mappingCount; ++i) {
        if (address >= g_mappings[i].start && address < g_mappings[i].end)
            return &g_mappings[i];
    }
    return nullptr;
}

const char *baseName(const char *path, size_t length, size_t *nameLength)
{
    size_t start = length;
    while (start > 0 && path[start - 1] != '/')
        --start;
    *nameLength = length - start;
    return path + start;
}

// Images are numbered in the order frames first meet them; mappings of one file share a number.
int imageIndexOf(Mapping &mapping, int mappingCount, int *imageCount)
{
    if (mapping.imageIndex >= 0)
        return mapping.imageIndex;
    for (int i = 0; i < mappingCount; ++i) {
        const Mapping &other = g_mappings[i];
        if (other.imageIndex >= 0 && other.pathLength == mapping.pathLength
            && memcmp(other.path, mapping.path, mapping.pathLength) == 0) {
            mapping.imageIndex = other.imageIndex;
            return mapping.imageIndex;
        }
    }
    mapping.imageIndex = (*imageCount)++;
    return mapping.imageIndex;
}

// Days since 1970-01-01 to a civil date (Howard Hinnant's algorithm): gmtime is not signal-safe.
void civilDate(int64_t days, int64_t *year, unsigned *month, unsigned *day)
{
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned dayOfEra = unsigned(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned monthIndex = (5 * dayOfYear + 2) / 153;
    *day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    *month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    *year = int64_t(yearOfEra) + era * 400 + (*month <= 2 ? 1 : 0);
}

// "YYYY-MM-DD<separator>HH<colon>MM<colon>SS" in UTC.
void putTimestamp(Writer &out, time_t seconds, char separator, const char *colon)
{
    int64_t year = 0;
    unsigned month = 0;
    unsigned day = 0;
    civilDate(int64_t(seconds) / 86400, &year, &month, &day);
    const int64_t secondOfDay = int64_t(seconds) % 86400;
    out.putUnsigned(uint64_t(year), 4);
    out.put('-');
    out.putUnsigned(month, 2);
    out.put('-');
    out.putUnsigned(day, 2);
    out.put(separator);
    out.putUnsigned(uint64_t(secondOfDay / 3600), 2);
    out.put(colon);
    out.putUnsigned(uint64_t(secondOfDay / 60 % 60), 2);
    out.put(colon);
    out.putUnsigned(uint64_t(secondOfDay % 60), 2);
}

void putFrames(Writer &out, void *const *frames, int count, int mappingCount, int *imageCount)
{
    out.put("\"frames\":[");
    for (int i = 0; i < count; ++i) {
        const uintptr_t address = uintptr_t(frames[i]);
        if (i > 0)
            out.put(',');
        Mapping *mapping = mappingOf(address, mappingCount);
        if (!mapping) {
            out.put("{\"imageOffset\":");
            out.putUnsigned(address);
            out.put('}');
            continue;
        }
        out.put("{\"imageIndex\":");
        out.putUnsigned(uint64_t(imageIndexOf(*mapping, mappingCount, imageCount)));
        out.put(",\"imageOffset\":");
        out.putUnsigned(address - mapping->start + mapping->fileOffset);
        out.put('}');
    }
    out.put(']');
}

void putUsedImages(Writer &out, int mappingCount, int imageCount)
{
    out.put(",\"usedImages\":[");
    for (int image = 0; image < imageCount; ++image) {
        for (int i = 0; i < mappingCount; ++i) {
            const Mapping &mapping = g_mappings[i];
            if (mapping.imageIndex != image)
                continue;
            size_t nameLength = 0;
            const char *name = baseName(mapping.path, mapping.pathLength, &nameLength);
            out.put(image > 0 ? ",{\"name\":" : "{\"name\":");
            out.putJsonString(name, nameLength);
            out.put(",\"path\":");
            out.putJsonString(mapping.path, mapping.pathLength);
            out.put('}');
            break;
        }
    }
    out.put(']');
}

void writeReport(int signal, const siginfo_t *info, void *context)
{
    void *frames[maxFrames];
    int count = backtrace(frames, maxFrames);
    // Drop the handler's own frames: the crashed code starts at the interrupted instruction.
    const uintptr_t pc = programCounter(context);
    for (int i = 0; i < count; ++i) {
        if (uintptr_t(frames[i]) == pc) {
            memmove(frames, frames + i, sizeof(void *) * size_t(count - i));
            count -= i;
            break;
        }
    }
    const int mappingCount = readMappings();
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);

    Writer out{g_output, sizeof g_output};
    out.put(g_headerStart);
    out.put(",\"timestamp\":\"");
    putTimestamp(out, now.tv_sec, ' ', ":");
    out.put(" +0000\"}\n");
    out.put(g_bodyStart);
    out.put(",\"exception\":{\"type\":\"");
    out.put(exceptionType(signal, info ? info->si_code : 0));
    out.put("\",\"signal\":\"");
    out.put(signalName(signal));
    out.put("\"},\"faultingThread\":0,\"threads\":[{\"triggered\":true,");
    int imageCount = 0;
    putFrames(out, frames, count, mappingCount, &imageCount);
    out.put("}]");
    putUsedImages(out, mappingCount, imageCount);
    out.put("}\n");

    char finalPath[PATH_MAX + 64];
    Writer name{finalPath, sizeof finalPath};
    name.put(g_directory);
    name.put('/');
    name.put(g_fileNamePrefix);
    name.put('-');
    putTimestamp(name, now.tv_sec, '-', "");
    name.put('-');
    name.putUnsigned(uint64_t(getpid()));
    name.put(".ips");
    name.buffer[name.length] = '\0';
    char partialPath[PATH_MAX + 80];
    Writer partial{partialPath, sizeof partialPath};
    partial.put(finalPath);
    partial.put(".part");
    partial.buffer[partial.length] = '\0';

    // Written beside its final name and renamed, so the launch scan never reads half a report.
    const int fd = open(partialPath, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return;
    size_t written = 0;
    while (written < out.length) {
        const ssize_t wrote = write(fd, out.buffer + written, out.length - written);
        if (wrote <= 0)
            break;
        written += size_t(wrote);
    }
    fsync(fd);
    close(fd);
    if (written == out.length)
        rename(partialPath, finalPath);
    else
        unlink(partialPath);
}

void handleFatalSignal(int signal, siginfo_t *info, void *context)
{
    if (!g_handling) {
        g_handling = 1;
        writeReport(signal, info, context);
    }
    // The default action ends the process as the signal would have (and leaves a core if allowed).
    struct sigaction defaultAction {};
    defaultAction.sa_handler = SIG_DFL;
    sigemptyset(&defaultAction.sa_mask);
    sigaction(signal, &defaultAction, nullptr);
    raise(signal);
}

} // namespace

bool install(const ReportIdentity &identity)
{
    if (!QDir().mkpath(identity.reportsDirectory))
        return false;
    QFile::setPermissions(identity.reportsDirectory, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QJsonObject header{{QStringLiteral("app_name"), identity.appName},
                             {QStringLiteral("name"), identity.processName},
                             {QStringLiteral("bundleID"), identity.bundleID},
                             {QStringLiteral("app_version"), identity.appVersion},
                             {QStringLiteral("build_version"), identity.appBuild},
                             {QStringLiteral("os_version"), identity.osVersion},
                             {QStringLiteral("incident_id"), QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper()}};
    const QJsonObject body{{QStringLiteral("procName"), identity.processName},
                           {QStringLiteral("bundleID"), identity.bundleID}};
    if (!copyInto(g_directory, sizeof g_directory, QFile::encodeName(identity.reportsDirectory))
        || !copyInto(g_fileNamePrefix, sizeof g_fileNamePrefix, QFile::encodeName(identity.fileNamePrefix))
        || !copyInto(g_headerStart, sizeof g_headerStart, openObject(header))
        || !copyInto(g_bodyStart, sizeof g_bodyStart, openObject(body)))
        return false;

    // backtrace() loads libgcc (and allocates) on its first call: make that call now.
    void *warmUp[2];
    backtrace(warmUp, 2);

    // Its own stack, so a stack overflow is still reported.
    stack_t alternate{};
    alternate.ss_sp = g_alternateStack;
    alternate.ss_size = sizeof g_alternateStack;
    sigaltstack(&alternate, nullptr);

    struct sigaction action {};
    action.sa_sigaction = handleFatalSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (const int signal : fatalSignals)
        sigaction(signal, &action, nullptr);
    return true;
}

void crashForTest()
{
    int *volatile target = nullptr;
    *target = 1;
    std::abort();
}

} // namespace FatalSignalHandler
