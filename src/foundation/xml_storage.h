#pragma once

#include "foundation/file_stamp.h"

#include <QByteArray>
#include <QDomDocument>
#include <QDomElement>
#include <QList>
#include <QString>

#include <memory>
#include <utility>
#include <vector>

// An element being written. Unlike a DOM element it keeps its attributes in
// the order they were set, which the file layout depends on.
class XmlOutElement {
public:
    explicit XmlOutElement(QString tag) : m_tag(std::move(tag)) {}

    // Appends a child element after the existing ones and returns it.
    XmlOutElement *AddChild(const QString &tag);
    // Sets an attribute; a name set twice keeps its first place.
    void SetAttribute(const QString &name, const QString &value);

    const QString &Tag() const { return m_tag; }
    const QList<std::pair<QString, QString>> &Attributes() const { return m_attributes; }
    const std::vector<std::unique_ptr<XmlOutElement>> &Children() const { return m_children; }

private:
    QString m_tag;
    QList<std::pair<QString, QString>> m_attributes;
    std::vector<std::unique_ptr<XmlOutElement>> m_children;
};

// A document being written: one document element and the fixed layout of our
// files (no declaration, UTF-8, three-space indentation, CR LF line ends,
// children as empty-element tags).
class XmlOutDocument {
public:
    // Creates the document element; raises if there is one already.
    XmlOutElement *AddChild(const QString &tag);

    // The file's bytes; raises when a value holds a character XML cannot carry.
    QByteArray ToBytes() const;

private:
    std::unique_ptr<XmlOutElement> m_root;
};

// Base of objects saved to and loaded from an XML file. It owns the file
// handling (parsing, layout, safe replacement of the file) and leaves the
// mapping between the object and the elements to the derived class.
//
// A load either succeeds or leaves the object as it was: ReadXML must raise
// before it changes anything, and FileName only names a file that was read
// or written successfully.
class XmlStorage {
public:
    XmlStorage() = default;
    virtual ~XmlStorage() = default;
    XmlStorage(const XmlStorage &) = delete;
    XmlStorage &operator=(const XmlStorage &) = delete;

    // Puts the object's content into the empty `document`; `fileName` is the
    // file that will receive it.
    virtual void WriteXML(XmlOutDocument &document, const QString &fileName) = 0;
    // Fills the object from the parsed `document` read from `fileName`.
    virtual void ReadXML(const QDomDocument &document, const QString &fileName) = 0;

    // Reads `fileName`. A missing file only shows "XML Load: file doesn't
    // exist" + the path; unreadable or malformed files raise AppError naming
    // the file and the reason: no regular file (a device, a pipe), larger
    // than MaxXmlFileBytes, a byte that is not UTF-8 in a UTF-8 file (with
    // its real line and column), elements nested deeper than MaxXmlDepth,
    // an attribute value longer than MaxXmlAttributeBytes.
    virtual void LoadFromFile(const QString &fileName);
    // A file read and parsed, not yet taken in. Made by ParseFile on any
    // thread (it shows nothing and touches no object), taken in by LoadParsed.
    struct Parsed {
        QDomDocument document;
        FileStamp identity;
    };
    // The reading half of LoadFromFile for a file that exists: raises the
    // same errors, changes nothing.
    static Parsed ParseFile(const QString &fileName);
    // The other half: fills the object from `parsed`, read from `fileName`.
    // With `storedLater` the caller makes its own choices first and then
    // calls MarkStored, which takes what is stored only once.
    void LoadParsed(const Parsed &parsed, const QString &fileName, bool storedLater = false);
    static constexpr qint64 MaxXmlFileBytes = 256LL * 1024 * 1024;
    static constexpr int MaxXmlDepth = 256;
    static constexpr qsizetype MaxXmlAttributeBytes = 64 * 1024;
    // Writes the object to `fileName` through a temporary file renamed over
    // the target, so a failed write leaves the previous file intact.
    void SaveToFile(const QString &fileName);
    // True when a save to FileName would write something else than the last
    // load or save stored there; an object never loaded or saved counts as
    // changed. Lets closing skip writing what nothing changed.
    bool ChangedSinceStored();
    // Takes what a save would write now as what the file holds, so choices
    // the program made by itself right after a load do not count as changes.
    void MarkStored();
    // True when another program wrote FileName since we last loaded or saved it.
    bool FileChangedOnDisk() const;
    // What the last load or save meant on disk, as a save writes it.
    const QByteArray &StoredBytes() const { return m_storedBytes; }

    // Attribute access through Node (reading) and OutNode (writing).
    QString AttrText(const QString &name) const;
    bool AttrBool(const QString &name) const;
    void SetAttrText(const QString &name, const QString &value);
    void SetAttrInt(const QString &name, qint64 value);
    void SetAttrBool(const QString &name, bool value);

    // "True"/"False" in any letter case or a number (non-zero is true);
    // anything else raises AppError naming the value.
    static bool TextToBool(const QString &text);

    // Refuses bytes the document model would misreport or choke on: a bad
    // byte of UTF-8, nesting deeper than MaxXmlDepth and overlong attribute
    // values (AppError naming
    // `fileName`, the line and the column).
    static void CheckXmlShape(const QByteArray &bytes, const QString &fileName);

    QDomElement Node;                 // element being read
    XmlOutElement *OutNode = nullptr; // element being written (owned by the document)
    QString FileName;                 // file last loaded or saved
    // Set while the object is written only to be compared: WriteXML then
    // leaves out its side effects (notifications, log lines).
    bool ComparingOnly = false;

protected:
    // The bookkeeping of a load whose content is in: the object now stands
    // for `fileName` as `identity` found it (LoadParsed's second half, for a
    // class that took its content in by other means).
    void TakeLoaded(const FileStamp &identity, const QString &fileName, bool storedLater);
    // True when the content holds a secret such as a password: the file is
    // then written readable and writable by its owner only (or kept stricter).
    virtual bool HoldsSecrets() const { return false; }

private:
    QByteArray serialize(const QString &fileName);
    QByteArray m_storedBytes; // what the last load or save means on disk
    bool m_stored = false;
    FileStamp m_identity;
};
