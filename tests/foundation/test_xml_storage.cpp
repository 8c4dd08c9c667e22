#include "foundation/errors.h"
#include "foundation/xml_storage.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <functional>
#include <utility>
#include <vector>

namespace {
// A small storage class: a root with one child per record; a record may have
// nested children of its own.
class RecordStore final : public XmlStorage {
public:
    struct Record {
        QString tag;
        std::vector<std::pair<QString, QString>> attributes;
        int nested = 0;
    };

    void WriteXML(XmlOutDocument &document, const QString &) override
    {
        XmlOutElement *root = document.AddChild(rootTag);
        for (const Record &record : records) {
            OutNode = root->AddChild(record.tag);
            for (const auto &[name, value] : record.attributes)
                SetAttrText(name, value);
            XmlOutElement *parent = OutNode;
            for (int i = 0; i < record.nested; ++i)
                parent->AddChild(QStringLiteral("inner"));
        }
    }

    void ReadXML(const QDomDocument &document, const QString &fileName) override
    {
        ++reads;
        readFileName = fileName;
        if (failRead)
            throw AppError(QStringLiteral("refused"));
        read.clear();
        const QDomElement root = document.documentElement();
        for (QDomElement e = root.firstChildElement(); !e.isNull(); e = e.nextSiblingElement()) {
            Node = e;
            read.push_back(e.tagName() + u'=' + AttrText(QStringLiteral("v")));
        }
    }

    QString rootTag = QStringLiteral("root");
    std::vector<Record> records;
    std::vector<QString> read;
    QString readFileName;
    int reads = 0;
    bool failRead = false;
};

QString errorOf(const std::function<void()> &call)
{
    try {
        call();
    } catch (const AppError &e) {
        return e.message();
    }
    return QString();
}

class XmlStorageTest : public ::testing::Test {
protected:
    QString path(const QString &name) const { return dir.filePath(name); }
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
};
} // namespace

TEST_F(XmlStorageTest, SaveWritesTheFixedLayout)
{
    RecordStore store;
    store.records = {{"a", {{"v", "1"}, {"w", ""}}}, {"b", {}}, {"c", {{"z", "x"}}, 2}};
    store.SaveToFile(path("s.xml"));
    EXPECT_EQ(ReadFileBytes(path("s.xml")), QByteArray("<root>\r\n"
                                                       "   <a v=\"1\" w=\"\"/>\r\n"
                                                       "   <b/>\r\n"
                                                       "   <c z=\"x\">\r\n"
                                                       "      <inner/>\r\n"
                                                       "      <inner/>\r\n"
                                                       "   </c>\r\n"
                                                       "</root>\r\n"));
    EXPECT_EQ(store.FileName, path("s.xml"));
}

TEST_F(XmlStorageTest, AttributeValuesAreEscapedAndRoundTrip)
{
    RecordStore store;
    const QString tricky = QStringLiteral("a&b <c> \"d\" 'e'\ttab\nline\r\n  spaced  ");
    const QString unicode = QStringLiteral("Grüße — 東京 \U0001F600");
    store.records = {{"x", {{"v", tricky}}}, {"y", {{"v", unicode}}}};
    store.SaveToFile(path("e.xml"));
    const QByteArray bytes = ReadFileBytes(path("e.xml"));
    EXPECT_TRUE(bytes.contains("a&amp;b &lt;c&gt; &quot;d&quot; 'e'&#9;tab&#10;line&#13;&#10;"));
    EXPECT_TRUE(bytes.contains(unicode.toUtf8()));

    store.LoadFromFile(path("e.xml"));
    EXPECT_EQ(store.read, (std::vector<QString>{"x=" + tricky, "y=" + unicode}));
}

TEST_F(XmlStorageTest, UnstorableCharacterFailsBeforeTouchingTheFile)
{
    WriteFileBytes(path("old.xml"), "<root/>");
    RecordStore store;
    store.records = {{"x", {{"v", QStringLiteral("bell\x07")}}}};
    const QString error = errorOf([&] { store.SaveToFile(path("old.xml")); });
    EXPECT_TRUE(error.contains("U+0007")) << error.toStdString();
    EXPECT_TRUE(error.contains("\"v\"")) << error.toStdString();
    EXPECT_EQ(ReadFileBytes(path("old.xml")), QByteArray("<root/>"));
    EXPECT_TRUE(store.FileName.isEmpty());
}

TEST_F(XmlStorageTest, FailedWriteRaisesAndKeepsFileName)
{
    RecordStore store;
    store.SaveToFile(path("good.xml"));
    WriteFileBytes(path("plain"), "a regular file");

    // A parent that is a regular file, and a folder standing at the target.
    QDir(dir.path()).mkdir("taken.xml");
    for (const QString &target : {path("plain/p.xml"), path("taken.xml")}) {
        const QString error = errorOf([&] { store.SaveToFile(target); });
        EXPECT_TRUE(error.startsWith("XML Save: cannot write \"" + target + "\": "))
            << error.toStdString();
        EXPECT_EQ(store.FileName, path("good.xml"));
    }
    EXPECT_TRUE(QFileInfo(path("taken.xml")).isDir());
}

TEST_F(XmlStorageTest, SaveReplacesAFileAndKeepsItsPermissions)
{
    WriteFileBytes(path("p.xml"), "old content that is longer than the new one........");
    QFile::setPermissions(path("p.xml"), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    RecordStore store;
    store.SaveToFile(path("p.xml"));
    EXPECT_EQ(ReadFileBytes(path("p.xml")), QByteArray("<root/>\r\n"));
    const QFileDevice::Permissions modeBits =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
        QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
        QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    EXPECT_EQ(QFile::permissions(path("p.xml")) & modeBits,
              QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    // No temporary file is left behind.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"p.xml"});
}

TEST_F(XmlStorageTest, SaveThroughALinkReplacesTheLinkedFile)
{
    WriteFileBytes(path("real.xml"), "old");
    ASSERT_TRUE(QFile::link(path("real.xml"), path("link.xml")));
    RecordStore store;
    store.SaveToFile(path("link.xml"));
    EXPECT_TRUE(QFileInfo(path("link.xml")).isSymLink());
    EXPECT_EQ(ReadFileBytes(path("real.xml")), QByteArray("<root/>\r\n"));
}

TEST_F(XmlStorageTest, MissingFileOnlyShowsTheMessage)
{
    RecordStore store;
    store.FileName = QStringLiteral("/previous.xml");
    const QString missing = path("nothing here.xml");
    store.LoadFromFile(missing);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0], "XML Load: file doesn't exist" + missing);
    EXPECT_EQ(store.FileName, "/previous.xml");
    EXPECT_EQ(store.reads, 0);
}

TEST_F(XmlStorageTest, ReadsFilesWithAndWithoutDeclaration)
{
    RecordStore store;
    const std::vector<std::pair<const char *, QByteArray>> files = {
        {"plain.xml", "<root><a v=\"\xc3\xa9\"/></root>"},
        {"utf8.xml",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<root><a v=\"\xc3\xa9\"/></root>"},
        {"bom.xml", "\xef\xbb\xbf<root><a v=\"\xc3\xa9\"/></root>"},
        {"latin1.xml",
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<root><a v=\"\xe9\"/></root>"},
        {"cp1252.xml",
         "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n<root><a v=\"\xe9\"/></root>"},
    };
    for (const auto &[name, bytes] : files) {
        WriteFileBytes(path(name), bytes);
        store.LoadFromFile(path(name));
        EXPECT_EQ(store.read, std::vector<QString>{QStringLiteral("a=é")}) << name;
        EXPECT_EQ(store.FileName, path(name));
    }
}

TEST_F(XmlStorageTest, UnreadableContentRaisesWithFileAndPosition)
{
    RecordStore store;
    store.FileName = QStringLiteral("/previous.xml");
    QByteArray binary;
    for (int i = 0; i < 256; ++i)
        binary.append(static_cast<char>((i * 37) & 0xff));
    const std::vector<std::pair<const char *, QByteArray>> files = {
        {"malformed.xml", "<root>\n  <a v=\"1\">\n</root>"},
        {"truncated.xml", "<root>\r\n   <a v=\"1\"/>\r\n   <b v=\""},
        {"binary.xml", binary},
        {"empty.xml", ""},
    };
    for (const auto &[name, bytes] : files) {
        WriteFileBytes(path(name), bytes);
        const QString error = errorOf([&] { store.LoadFromFile(path(name)); });
        EXPECT_TRUE(error.startsWith("XML Load: \"" + path(name) + "\" is not a well-formed XML"))
            << name << ": " << error.toStdString();
        EXPECT_TRUE(error.contains("line ")) << error.toStdString();
        EXPECT_EQ(store.FileName, "/previous.xml");
    }
    EXPECT_EQ(store.reads, 0);
    EXPECT_TRUE(errorOf([&] { store.LoadFromFile(path("malformed.xml")); }).contains("line 3"));

    QDir(dir.path()).mkdir("folder.xml");
    EXPECT_TRUE(errorOf([&] { store.LoadFromFile(path("folder.xml")); }).contains("is a folder"));
}

TEST_F(XmlStorageTest, FailedReadXmlKeepsFileName)
{
    RecordStore store;
    store.SaveToFile(path("a.xml"));
    store.SaveToFile(path("b.xml"));
    store.failRead = true;
    EXPECT_EQ(errorOf([&] { store.LoadFromFile(path("a.xml")); }), "refused");
    EXPECT_EQ(store.FileName, path("b.xml"));
    EXPECT_EQ(store.readFileName, path("a.xml"));
}

TEST_F(XmlStorageTest, BooleansWriteAsWordsAndReadLeniently)
{
    RecordStore store;
    store.OutNode = nullptr;
    EXPECT_FALSE(errorOf([&] { store.SetAttrBool("x", true); }).isEmpty());

    XmlOutElement element(QStringLiteral("e"));
    store.OutNode = &element;
    store.SetAttrBool("yes", true);
    store.SetAttrBool("no", false);
    store.SetAttrInt("n", -41);
    store.SetAttrBool("yes", false); // a second write keeps the first place
    ASSERT_EQ(element.Attributes().size(), 3);
    EXPECT_EQ(element.Attributes()[0], std::make_pair(QString("yes"), QString("False")));
    EXPECT_EQ(element.Attributes()[1].second, "False");
    EXPECT_EQ(element.Attributes()[2].second, "-41");

    for (const char *text : {"True", "TRUE", "true", "1", "-2", " 1 ", "0.5"})
        EXPECT_TRUE(XmlStorage::TextToBool(text)) << text;
    for (const char *text : {"False", "false", "FALSE", "0", "0.0"})
        EXPECT_FALSE(XmlStorage::TextToBool(text)) << text;
    for (const char *text : {"", "yes", "maybe", "nan", "1x"})
        EXPECT_TRUE(errorOf([&] { XmlStorage::TextToBool(text); }).contains("not a boolean"))
            << text;

    QDomDocument document;
    ASSERT_TRUE(document.setContent(QByteArray("<r a=\"TRUE\" b=\"bad\"/>")));
    store.Node = document.documentElement();
    EXPECT_TRUE(store.AttrBool("a"));
    EXPECT_FALSE(store.AttrBool("absent"));
    EXPECT_EQ(store.AttrText("absent"), QString());
    const QString error = errorOf([&] { store.AttrBool("b"); });
    EXPECT_TRUE(error.contains("\"bad\"") && error.contains("\"b\"") && error.contains("<r>"))
        << error.toStdString();
}

TEST_F(XmlStorageTest, DeepNestingIsRefusedWhateverHidesTheTags)
{
    // Tags that are no tags (in comments, character data, instructions and
    // attribute values) must not hide the depth, nor count towards it.
    const auto nested = [](int depth, const QByteArray &prolog) {
        QByteArray text = prolog + "<root>";
        for (int i = 0; i < depth; ++i)
            text += "<a x='/>' y=\"a>b/>\"><!-- </a></a> --><![CDATA[</a>]]><?pi </a>?><e/>";
        for (int i = 0; i < depth; ++i)
            text += "</a>";
        return text + "</root>";
    };
    RecordStore store;
    // The root, the levels of <a> and the empty <e/> in the last one.
    const int limit = XmlStorage::MaxXmlDepth - 2;
    WriteFileBytes(path("fits.xml"), nested(limit, ""));
    store.LoadFromFile(path("fits.xml"));
    EXPECT_EQ(store.read, std::vector<QString>{QStringLiteral("a=")});

    for (const QByteArray &prolog : {QByteArray(), QByteArray("<!DOCTYPE root>")}) {
        WriteFileBytes(path("deep.xml"), nested(limit + 1, prolog));
        const QString error = errorOf([&] { store.LoadFromFile(path("deep.xml")); });
        EXPECT_TRUE(error.contains(path("deep.xml")) && error.contains("deeper than 256 levels"))
            << error.toStdString();
    }
    // With a document type the count falls to the stream reader, which agrees.
    WriteFileBytes(path("typed.xml"), nested(limit, "<!DOCTYPE root>"));
    store.LoadFromFile(path("typed.xml"));
    EXPECT_EQ(store.FileName, path("typed.xml"));
}

TEST_F(XmlStorageTest, OverlongAttributeValuesAreRefusedWithTheirPlace)
{
    const qsizetype limit = XmlStorage::MaxXmlAttributeBytes;
    const auto document = [](const QByteArray &prolog, qsizetype length, char quote) {
        return prolog + "<root>\n  <a x=" + quote + QByteArray(length, 'v') + quote + "/></root>";
    };
    RecordStore store;
    for (const QByteArray &prolog : {QByteArray(), QByteArray("<!DOCTYPE root>")}) {
        for (const char quote : {'"', '\''}) {
            SCOPED_TRACE(prolog.toStdString() + quote);
            WriteFileBytes(path("fits.xml"), document(prolog, limit, quote));
            store.LoadFromFile(path("fits.xml"));
            EXPECT_EQ(store.FileName, path("fits.xml"));
            WriteFileBytes(path("long.xml"), document(prolog, limit + 1, quote));
            const QString error = errorOf([&] { store.LoadFromFile(path("long.xml")); });
            EXPECT_TRUE(error.contains(path("long.xml")) &&
                        error.contains("an attribute value longer than 65536 bytes") &&
                        error.contains("line 2"))
                << error.toStdString();
        }
    }
}
