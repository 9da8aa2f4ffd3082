// SPDX-License-Identifier: BSD-3-Clause
// Compiled-in descriptions, composed per camera kind and zipped in memory with libzip.
#include "xml_catalog.h"

#include <cstring>
#include <memory>

#include <zip.h>

#include "embedded_files.h"
#include "sim_error.h"

namespace corvid2::sim {

namespace {
void replaceAll(std::string& text, const std::string& marker, const std::string& with) {
    for (size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at + with.size()))
        text.replace(at, marker.size(), with);
}

// The fragments start with two comment lines (licence and purpose) that must not land inside the document.
std::string fragment(const std::string& fileName) {
    std::string text = embeddedDescription(fileName);
    for (int i = 0; i < 2; ++i) {
        const size_t end = text.find("-->");
        if (end != std::string::npos) text.erase(0, end + 3);
    }
    return text;
}
}  // namespace

std::string embeddedDescription(const std::string& fileName) {
    for (size_t i = 0; i < kEmbeddedFileCount; ++i)
        if (fileName == kEmbeddedFiles[i].name) return std::string(kEmbeddedFiles[i].data, kEmbeddedFiles[i].size);
    fail(GC_ERR_ERROR, "description " + fileName + " is not compiled in");
}

std::string cameraDescription(CameraKind kind) {
    std::string text = embeddedDescription("camera.xml");
    std::string categories, nodes, eventEntries;
    if (kind == CameraKind::Polarized) {
        categories = "<pFeature>PolarizationControl</pFeature>";
        nodes = fragment("camera_polarization.xml");
    } else if (kind == CameraKind::Serial) {
        categories = "<pFeature>SerialControl</pFeature>";
        nodes = fragment("camera_serial.xml");
        eventEntries =
            "<EnumEntry Name=\"qxSerialUARTPort0ReadReady\" NameSpace=\"Custom\"><Value>2</Value></EnumEntry>"
            "<EnumEntry Name=\"qxSerialUARTPort1ReadReady\" NameSpace=\"Custom\"><Value>3</Value></EnumEntry>";
    }
    replaceAll(text, "<!--@EXTRA_CATEGORIES@-->", categories);
    replaceAll(text, "<!--@EXTRA_NODES@-->", nodes);
    replaceAll(text, "<!--@EXTRA_EVENT_ENTRIES@-->", eventEntries);
    return text;
}

std::vector<uint8_t> zipText(const std::string& entryName, const std::string& text) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* archiveSource = zip_source_buffer_create(nullptr, 0, 0, &error);
    if (archiveSource == nullptr) fail(GC_ERR_OUT_OF_MEMORY, "cannot create a zip buffer");
    zip_source_keep(archiveSource);
    zip_t* archive = zip_open_from_source(archiveSource, ZIP_TRUNCATE, &error);
    if (archive == nullptr) {
        zip_source_free(archiveSource);
        fail(GC_ERR_ERROR, "cannot open a zip archive in memory");
    }
    zip_source_t* entry = zip_source_buffer(archive, text.data(), text.size(), 0);
    if (entry == nullptr || zip_file_add(archive, entryName.c_str(), entry, ZIP_FL_ENC_UTF_8) < 0) {
        if (entry != nullptr) zip_source_free(entry);
        zip_discard(archive);
        zip_source_free(archiveSource);
        fail(GC_ERR_ERROR, "cannot add the description to the zip archive");
    }
    if (zip_close(archive) < 0) {
        zip_discard(archive);
        zip_source_free(archiveSource);
        fail(GC_ERR_ERROR, "cannot write the zip archive");
    }
    std::vector<uint8_t> bytes;
    if (zip_source_open(archiveSource) == 0) {
        zip_source_seek(archiveSource, 0, SEEK_END);
        const zip_int64_t size = zip_source_tell(archiveSource);
        zip_source_seek(archiveSource, 0, SEEK_SET);
        bytes.resize(static_cast<size_t>(size > 0 ? size : 0));
        if (size > 0) zip_source_read(archiveSource, bytes.data(), static_cast<zip_uint64_t>(size));
        zip_source_close(archiveSource);
    }
    zip_source_free(archiveSource);
    if (bytes.empty()) fail(GC_ERR_ERROR, "empty zip archive");
    return bytes;
}

}  // namespace corvid2::sim
