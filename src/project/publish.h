#pragma once

class FtpConnection;
class QString;

// How many times the publish engine creates folders and tries again, both for
// the FTP folder and for one file, before it gives up on it.
constexpr int PublishFolderCreations = 2;

// Makes and enters, one after the other, the folders of `path` ('\' separated
// when it holds a '\', '/' otherwise) on the server, ignoring refused makes of
// folders that may exist. A path that begins with a separator starts at the
// server's root; other empty parts are skipped. Throws "Cant change to just
// created folder" when a folder cannot be entered; the connection is then left
// in the last folder it reached.
void CreateFtpPath(FtpConnection &connection, const QString &path);

// True when the file's text holds "host specific" or "//dont publish" in any
// letter case. Reads in blocks, so big files cost no memory; throws AppError
// when the file cannot be read.
bool FileHasPublishMarker(const QString &path);
