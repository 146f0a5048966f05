// What Windows reads from vq8comm.exe itself: the version information its
// file properties show, the icon Explorer shows, and the manifest it starts
// the program with. Asked the way Explorer asks, through the system's API.

#include <QCoreApplication>
#include <QList>
#include <QScopeGuard>
#include <QTest>

#include <windows.h>

using namespace Qt::StringLiterals;

namespace {

QString Program()
{
    return QCoreApplication::applicationDirPath() + u"/../app/vq8comm.exe"_s;
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

    QByteArray m_info;

    QString Value(const QString& key)
    {
        void* value = nullptr;
        UINT length = 0;
        const QString path = u"\\StringFileInfo\\040904B0\\"_s + key;
        if (!::VerQueryValueW(m_info.data(), Wide(path), &value, &length) || length == 0)
            return {};
        return QString::fromWCharArray(static_cast<const wchar_t*>(value), int(length) - 1);
    }

private Q_SLOTS:
    void initTestCase()
    {
        DWORD handle = 0;
        const DWORD size = ::GetFileVersionInfoSizeW(Wide(Program()), &handle);
        QVERIFY2(size > 0, qPrintable(Program()));
        m_info.resize(size);
        QVERIFY(::GetFileVersionInfoW(Wide(Program()), 0, size, m_info.data()));
    }

    // Version 5.6.0.0, a program, for U.S. English in Unicode.
    void fixedInfo()
    {
        void* value = nullptr;
        UINT length = 0;
        QVERIFY(::VerQueryValueW(m_info.data(), L"\\", &value, &length));
        QCOMPARE(length, UINT(sizeof(VS_FIXEDFILEINFO)));
        const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
        QCOMPARE(fixed->dwSignature, DWORD(0xFEEF04BD));
        QCOMPARE(fixed->dwFileVersionMS, DWORD(MAKELONG(6, 5)));
        QCOMPARE(fixed->dwFileVersionLS, DWORD(0));
        QCOMPARE(fixed->dwProductVersionMS, DWORD(MAKELONG(6, 5)));
        QCOMPARE(fixed->dwProductVersionLS, DWORD(0));
        QCOMPARE(fixed->dwFileType, DWORD(VFT_APP));
        QVERIFY(fixed->dwFileFlags & VS_FF_PRIVATEBUILD);

        QVERIFY(::VerQueryValueW(m_info.data(), L"\\VarFileInfo\\Translation", &value, &length));
        QCOMPARE(length, UINT(4));
        const auto* translation = static_cast<const WORD*>(value);
        QCOMPARE(translation[0], WORD(0x0409));
        QCOMPARE(translation[1], WORD(0x04B0));
    }

    void strings_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value"); // empty: any text but none
        QTest::newRow("Comments") << u"Comments"_s << u"VQ820 File Transfer Utility"_s;
        QTest::newRow("FileDescription")
            << u"FileDescription"_s << u"Utility to transfer files between host PC and VQ820"_s;
        QTest::newRow("FileVersion") << u"FileVersion"_s << u"5.6"_s;
        QTest::newRow("InternalName") << u"InternalName"_s << u"vq8comm"_s;
        QTest::newRow("OriginalFilename") << u"OriginalFilename"_s << u"vq8comm.exe"_s;
        QTest::newRow("PrivateBuild") << u"PrivateBuild"_s << u"5"_s;
        QTest::newRow("ProductName") << u"ProductName"_s << u"VQ820"_s;
        QTest::newRow("ProductVersion") << u"ProductVersion"_s << u"5.6"_s;
        QTest::newRow("CompanyName") << u"CompanyName"_s << u"Veltrane"_s;
        QTest::newRow("LegalCopyright") << u"LegalCopyright"_s << QString();
    }

    void strings()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        if (value.isEmpty())
            QVERIFY(!Value(key).isEmpty());
        else
            QCOMPARE(Value(key), value);
    }

    // The icon at every size Explorer and the task bar ask for, and the
    // manifest that keeps the program as the user who started it.
    void iconAndManifest()
    {
        HMODULE module = ::LoadLibraryExW(Wide(Program()), nullptr,
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
        QVERIFY(text.contains("Microsoft.Windows.Common-Controls"));
    }
};

QTEST_GUILESS_MAIN(TestVersionResource)
#include "tst_versionresource_win.moc"
