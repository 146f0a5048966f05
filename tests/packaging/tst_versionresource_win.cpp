// What Windows reads from each program itself (vq8comm.exe, vq8ctl.exe,
// vq820-sim.exe): the version information its file properties show, the icon
// Explorer shows, and the manifest it starts the program with. Asked the way
// Explorer asks, through the system's API.

#include <QCoreApplication>
#include <QHash>
#include <QList>
#include <QScopeGuard>
#include <QStringList>
#include <QTest>

#include <windows.h>

#include <utility>

using namespace Qt::StringLiterals;

namespace {

// The programs, where the build leaves them beside tests/.
const QStringList PROGRAMS{u"app/vq8comm"_s, u"cli/vq8ctl"_s, u"sim/vq820-sim"_s};

QString Program(const QString& program)
{
    return QCoreApplication::applicationDirPath() + u"/../"_s + program + u".exe"_s;
}

QString Name(const QString& program)
{
    return program.section(u'/', -1);
}

const wchar_t* Wide(const QString& text)
{
    return reinterpret_cast<const wchar_t*>(text.utf16());
}

#pragma pack(push, 2)
// An entry of an icon group resource.
struct CIconGroupEntry
{
    BYTE m_nWidth; // 0 for 256
    BYTE m_nHeight;
    BYTE m_nColours;
    BYTE m_nReserved;
    WORD m_nPlanes;
    WORD m_nBitCount;
    DWORD m_nBytes;
    WORD m_nId;
};
#pragma pack(pop)

} // namespace

class TestVersionResource : public QObject
{
    Q_OBJECT

    QHash<QString, QByteArray> m_info; // by program

    QString Value(const QString& program, const QString& key)
    {
        void* value = nullptr;
        UINT length = 0;
        const QString path = u"\\StringFileInfo\\040904B0\\"_s + key;
        if (!::VerQueryValueW(m_info[program].data(), Wide(path), &value, &length) || length == 0)
            return {};
        return QString::fromWCharArray(static_cast<const wchar_t*>(value), int(length) - 1);
    }

    static void AddProgramColumn()
    {
        QTest::addColumn<QString>("program");
        for (const QString& program : PROGRAMS)
            QTest::newRow(qPrintable(Name(program))) << program;
    }

private Q_SLOTS:
    void initTestCase()
    {
        for (const QString& program : PROGRAMS) {
            DWORD handle = 0;
            const DWORD size = ::GetFileVersionInfoSizeW(Wide(Program(program)), &handle);
            QVERIFY2(size > 0, qPrintable(Program(program)));
            QByteArray& info = m_info[program];
            info.resize(size);
            QVERIFY(::GetFileVersionInfoW(Wide(Program(program)), 0, size, info.data()));
        }
    }

    // Version 5.6.0.0, a program, for U.S. English in Unicode.
    void fixedInfo_data() { AddProgramColumn(); }
    void fixedInfo()
    {
        QFETCH(QString, program);
        void* value = nullptr;
        UINT length = 0;
        QVERIFY(::VerQueryValueW(m_info[program].data(), L"\\", &value, &length));
        QCOMPARE(length, UINT(sizeof(VS_FIXEDFILEINFO)));
        const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
        QCOMPARE(fixed->dwSignature, DWORD(0xFEEF04BD));
        QCOMPARE(fixed->dwFileVersionMS, DWORD(MAKELONG(6, 5)));
        QCOMPARE(fixed->dwFileVersionLS, DWORD(0));
        QCOMPARE(fixed->dwProductVersionMS, DWORD(MAKELONG(6, 5)));
        QCOMPARE(fixed->dwProductVersionLS, DWORD(0));
        QCOMPARE(fixed->dwFileType, DWORD(VFT_APP));
        QVERIFY(fixed->dwFileFlags & VS_FF_PRIVATEBUILD);

        QVERIFY(::VerQueryValueW(m_info[program].data(), L"\\VarFileInfo\\Translation", &value, &length));
        QCOMPARE(length, UINT(4));
        const auto* translation = static_cast<const WORD*>(value);
        QCOMPARE(translation[0], WORD(0x0409));
        QCOMPARE(translation[1], WORD(0x04B0));
    }

    void strings_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value"); // empty: any text but none
        const QList<std::pair<QString, QString>> descriptions{
            {u"app/vq8comm"_s, u"Utility to transfer files between host PC and VQ820"_s},
            {u"cli/vq8ctl"_s, u"Command-line file transfers between host PC and VQ820"_s},
            {u"sim/vq820-sim"_s, u"VQ820 generator emulator"_s}};
        for (const auto& [program, description] : descriptions) {
            const QString name = Name(program);
            const auto row = [&](const QString& key, const QString& value) {
                QTest::addRow("%s %s", qPrintable(name), qPrintable(key)) << program << key << value;
            };
            row(u"Comments"_s, u"VQ820 File Transfer Utility"_s);
            row(u"FileDescription"_s, description);
            row(u"FileVersion"_s, u"5.6"_s);
            row(u"InternalName"_s, name);
            row(u"OriginalFilename"_s, name + u".exe"_s);
            row(u"PrivateBuild"_s, u"5"_s);
            row(u"ProductName"_s, u"VQ820"_s);
            row(u"ProductVersion"_s, u"5.6"_s);
            row(u"CompanyName"_s, u"Veltrane"_s);
            row(u"LegalCopyright"_s, QString());
        }
    }

    void strings()
    {
        QFETCH(QString, program);
        QFETCH(QString, key);
        QFETCH(QString, value);
        if (value.isEmpty())
            QVERIFY(!Value(program, key).isEmpty());
        else
            QCOMPARE(Value(program, key), value);
    }

    // The icon at every size Explorer and the task bar ask for, and the
    // manifest: as the user who started it, paths longer than 260
    // characters, and the current common controls for the window's dialogs.
    void iconAndManifest_data() { AddProgramColumn(); }
    void iconAndManifest()
    {
        QFETCH(QString, program);
        HMODULE module = ::LoadLibraryExW(Wide(Program(program)), nullptr,
                                          LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        QVERIFY(module);
        const auto unload = qScopeGuard([module] { ::FreeLibrary(module); });

        HRSRC group = ::FindResourceW(module, L"IDI_ICON1", MAKEINTRESOURCEW(14)); // RT_GROUP_ICON
        QVERIFY(group);
        const auto* bytes = static_cast<const BYTE*>(::LockResource(::LoadResource(module, group)));
        QVERIFY(bytes);
        const WORD count = reinterpret_cast<const WORD*>(bytes)[2];
        const auto* entries = reinterpret_cast<const CIconGroupEntry*>(bytes + 6);
        QList<int> sides;
        for (WORD i = 0; i < count; ++i) {
            sides.append(entries[i].m_nWidth == 0 ? 256 : entries[i].m_nWidth);
            QCOMPARE(entries[i].m_nBitCount, WORD(32));
            QVERIFY(
                ::FindResourceW(module, MAKEINTRESOURCEW(entries[i].m_nId), MAKEINTRESOURCEW(3))); // RT_ICON
        }
        QCOMPARE(sides, (QList<int>{16, 24, 32, 48, 64, 256}));

        HRSRC manifest = ::FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)); // RT_MANIFEST
        QVERIFY(manifest);
        const QByteArray text(static_cast<const char*>(::LockResource(::LoadResource(module, manifest))),
                              qsizetype(::SizeofResource(module, manifest)));
        QVERIFY(text.contains(R"(level="asInvoker")"));
        QVERIFY(text.contains("<longPathAware"));
        QVERIFY(text.contains(">true</longPathAware>"));
        QCOMPARE(text.contains("Microsoft.Windows.Common-Controls"), program == u"app/vq8comm"_s);
    }
};

QTEST_GUILESS_MAIN(TestVersionResource)
#include "tst_versionresource_win.moc"
