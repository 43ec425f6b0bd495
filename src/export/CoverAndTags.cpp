// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/CoverAndTags.h"

#include "platform/Failure.h"

#include <QFile>

#include <taglib/attachedpictureframe.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/vorbisfile.h>
#include <taglib/xiphcomment.h>

namespace CoverAndTags {

namespace {

TagLib::String text(const QString &value) { return TagLib::String(value.toUtf8().constData(), TagLib::String::UTF8); }

TagLib::ByteVector bytes(const QByteArray &value) { return TagLib::ByteVector(value.constData(), uint(value.size())); }

void setText(TagLib::Tag &tag, const AudioTags &tags)
{
    if (!tags.title.isEmpty())
        tag.setTitle(text(tags.title));
    if (!tags.artist.isEmpty())
        tag.setArtist(text(tags.artist));
    if (!tags.album.isEmpty())
        tag.setAlbum(text(tags.album));
    if (tags.track > 0)
        tag.setTrack(uint(tags.track));
}

// Vorbis comments (Ogg Vorbis, Opus, FLAC): the picture is a FLAC picture block.
void setXiph(TagLib::Ogg::XiphComment &comment, const AudioTags &tags)
{
    setText(comment, tags);
    if (tags.track > 0 && tags.tracks > 0)
        comment.addField("TRACKTOTAL", TagLib::String::number(tags.tracks));
    if (!tags.cover.isEmpty()) {
        auto *picture = new TagLib::FLAC::Picture;
        picture->setType(TagLib::FLAC::Picture::FrontCover);
        picture->setMimeType(text(tags.coverType));
        picture->setData(bytes(tags.cover));
        comment.addPicture(picture); // the comment owns it
    }
}

[[noreturn]] void fail(const QString &path)
{
    throw Failure(QStringLiteral("无法给 %1 写入标签。").arg(path), Failure::Reason::FileUnwritable);
}

// The Ogg formats: tags and picture in their Vorbis comment.
template <typename OggFile> bool saveXiph(const QByteArray &name, const QString &path, const AudioTags &tags)
{
    OggFile file(name.constData(), false);
    if (!file.isValid())
        fail(path);
    setXiph(*file.tag(), tags);
    return file.save();
}

} // namespace

bool libsndfileTagsServe(AudioFormat format)
{
    return format == AudioFormat::Wav || format == AudioFormat::Flac || format == AudioFormat::OggVorbis;
}

void write(const QString &path, AudioFormat format, const AudioTags &tags)
{
    const QByteArray name = QFile::encodeName(path);
    const bool needed = !libsndfileTagsServe(format) || !tags.cover.isEmpty();
    if (!needed || format == AudioFormat::Wav)
        return;
    bool saved = false;
    switch (format) {
    case AudioFormat::Mp3: {
        TagLib::MPEG::File file(name.constData(), false);
        if (!file.isValid())
            fail(path);
        TagLib::ID3v2::Tag *tag = file.ID3v2Tag(true);
        setText(*tag, tags);
        if (tags.track > 0 && tags.tracks > 0) {
            tag->removeFrames("TRCK");
            auto *track = new TagLib::ID3v2::TextIdentificationFrame("TRCK", TagLib::String::UTF8);
            track->setText(TagLib::String::number(tags.track) + "/" + TagLib::String::number(tags.tracks));
            tag->addFrame(track);
        }
        if (!tags.cover.isEmpty()) {
            auto *picture = new TagLib::ID3v2::AttachedPictureFrame;
            picture->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
            picture->setMimeType(text(tags.coverType));
            picture->setPicture(bytes(tags.cover));
            tag->addFrame(picture);
        }
        // ID3v2.4 keeps UTF-8 as it is; only the ID3v2 tag, none of the older kind.
        saved = file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripOthers, TagLib::ID3v2::v4);
        break;
    }
    case AudioFormat::Opus:
        saved = saveXiph<TagLib::Ogg::Opus::File>(name, path, tags);
        break;
    case AudioFormat::OggVorbis:
        saved = saveXiph<TagLib::Ogg::Vorbis::File>(name, path, tags);
        break;
    case AudioFormat::Flac: {
        TagLib::FLAC::File file(name.constData(), false);
        if (!file.isValid())
            fail(path);
        if (!tags.cover.isEmpty()) {
            auto *picture = new TagLib::FLAC::Picture;
            picture->setType(TagLib::FLAC::Picture::FrontCover);
            picture->setMimeType(text(tags.coverType));
            picture->setData(bytes(tags.cover));
            file.addPicture(picture);
        }
        saved = file.save();
        break;
    }
    case AudioFormat::Wav:
        break;
    }
    if (!saved)
        fail(path);
}

} // namespace CoverAndTags
