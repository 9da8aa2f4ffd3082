// SPDX-License-Identifier: BSD-3-Clause
// Interoperability check with another GenApi engine: Aravis parses every description the simulator serves and
// reads and writes the cameras' features through the simulator's own ports (an ArvDevice subclass whose memory
// accesses are GCReadPort and GCWritePort).
#include <arv.h>
#include <stdio.h>
#include <string.h>
#include <zip.h>

#include "gentl.h"
#include "gentl_loader_c.h"

#define GT(name) ((P##name)corvid2_sim_test_function(#name))

static int failures = 0;

static void check(int condition, const char* what) {
    printf("%s %s\n", condition ? "ok  " : "FAIL", what);
    if (!condition) ++failures;
}

// ---- an ArvDevice whose memory is a GenTL port ----

typedef struct {
    ArvDevice parent;
    PORT_HANDLE port;
} SimPortDevice;
typedef struct {
    ArvDeviceClass parent_class;
} SimPortDeviceClass;

G_DEFINE_TYPE(SimPortDevice, sim_port_device, ARV_TYPE_DEVICE)

static gboolean sim_port_read(ArvDevice* device, guint64 address, guint32 size, void* buffer, GError** error) {
    size_t n = size;
    const GC_ERROR result = GT(GCReadPort)(((SimPortDevice*)device)->port, address, buffer, &n);
    if (result != GC_ERR_SUCCESS)
        g_set_error(error, ARV_DEVICE_ERROR, ARV_DEVICE_ERROR_TRANSFER_ERROR, "GCReadPort %d", result);
    return result == GC_ERR_SUCCESS;
}

static gboolean sim_port_write(ArvDevice* device, guint64 address, guint32 size, void* buffer, GError** error) {
    size_t n = size;
    const GC_ERROR result = GT(GCWritePort)(((SimPortDevice*)device)->port, address, buffer, &n);
    if (result != GC_ERR_SUCCESS)
        g_set_error(error, ARV_DEVICE_ERROR, ARV_DEVICE_ERROR_TRANSFER_ERROR, "GCWritePort %d", result);
    return result == GC_ERR_SUCCESS;
}

static void sim_port_device_init(SimPortDevice* self) { self->port = NULL; }

static void sim_port_device_class_init(SimPortDeviceClass* klass) {
    ArvDeviceClass* device_class = ARV_DEVICE_CLASS(klass);
    device_class->read_memory = sim_port_read;
    device_class->write_memory = sim_port_write;
}

// ---- descriptions ----

static size_t url_info_size(PORT_HANDLE port, URL_INFO_CMD cmd, void* out, size_t size) {
    INFO_DATATYPE type = 0;
    size_t n = size;
    return GT(GCGetPortURLInfo)(port, 0, cmd, &type, out, &n) == GC_ERR_SUCCESS ? n : 0;
}

// The description of a port's first location, unzipped when the location names a zip file; caller frees.
static char* fetch_description(PORT_HANDLE port, size_t* length) {
    char url[512] = "";
    uint64_t address = 0, size = 0;
    url_info_size(port, URL_INFO_URL, url, sizeof url);
    url_info_size(port, URL_INFO_FILE_REGISTER_ADDRESS, &address, sizeof address);
    url_info_size(port, URL_INFO_FILE_SIZE, &size, sizeof size);
    char* bytes = g_malloc0(size + 1);
    size_t n = size;
    if (size == 0 || GT(GCReadPort)(port, address, bytes, &n) != GC_ERR_SUCCESS) {
        g_free(bytes);
        return NULL;
    }
    *length = size;
    if (strstr(url, ".zip") == NULL) return bytes;
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(bytes, size, 0, &error);
    zip_t* archive = zip_open_from_source(source, ZIP_RDONLY, &error);
    zip_stat_t stat;
    char* text = NULL;
    if (archive != NULL && zip_stat_index(archive, 0, 0, &stat) == 0) {
        text = g_malloc0(stat.size + 1);
        zip_file_t* file = zip_fopen_index(archive, 0, 0);
        zip_fread(file, text, stat.size);
        zip_fclose(file);
        *length = stat.size;
    }
    if (archive != NULL) zip_close(archive);
    g_free(bytes);
    return text;
}

// Parses a port's description with Aravis, bound to that port; counts the features that read back.
static ArvGc* parse_with_aravis(PORT_HANDLE port, const char* label, SimPortDevice** device_out) {
    size_t length = 0;
    char* xml = fetch_description(port, &length);
    char what[256];
    snprintf(what, sizeof what, "%s: description fetched through the port", label);
    check(xml != NULL, what);
    if (xml == NULL) return NULL;
    SimPortDevice* device = g_object_new(sim_port_device_get_type(), NULL);
    device->port = port;
    ArvGc* gc = arv_gc_new(ARV_DEVICE(device), xml, length);
    g_free(xml);
    snprintf(what, sizeof what, "%s: Aravis parses the description", label);
    check(gc != NULL && arv_gc_get_node(gc, "Root") != NULL, what);
    *device_out = device;
    return gc;
}

// Walks the category tree from Root and reads every implemented, available, readable value feature, leaving out
// the chunk and event data features (their ports hold data only while a buffer or event is attached).
static void read_all(ArvGc* gc, const char* category, int* read, int* failed, int depth) {
    ArvGcNode* node = arv_gc_get_node(gc, category);
    if (!ARV_IS_GC_CATEGORY(node) || depth > 8) return;
    for (const GSList* f = arv_gc_category_get_features(ARV_GC_CATEGORY(node)); f != NULL; f = f->next) {
        const char* name = f->data;
        ArvGcNode* feature = arv_gc_get_node(gc, name);
        if (feature == NULL) {
            ++*failed;
            printf("     missing feature %s\n", name);
            continue;
        }
        if (ARV_IS_GC_CATEGORY(feature)) {
            if (strcmp(name, "ChunkDataControl") != 0 && strncmp(name, "Event", 5) != 0 ||
                strcmp(name, "EventControl") == 0)
                read_all(gc, name, read, failed, depth + 1);
            continue;
        }
        if (ARV_IS_GC_COMMAND(feature) || strncmp(name, "Chunk", 5) == 0 && !strstr(name, "Mode") &&
                                              !strstr(name, "Selector") && !strstr(name, "Enable"))
            continue;
        if (strncmp(name, "Event", 5) == 0 && strcmp(name, "EventSelector") != 0 &&
            strcmp(name, "EventNotification") != 0)
            continue;
        GError* error = NULL;
        if (!arv_gc_feature_node_is_implemented(ARV_GC_FEATURE_NODE(feature), &error) ||
            !arv_gc_feature_node_is_available(ARV_GC_FEATURE_NODE(feature), &error)) {
            g_clear_error(&error);
            continue;
        }
        if (ARV_IS_GC_REGISTER(feature)) continue;  // raw byte blocks have no text form
        const char* value = arv_gc_feature_node_get_value_as_string(ARV_GC_FEATURE_NODE(feature), &error);
        if (error != NULL || value == NULL) {
            ++*failed;
            printf("     %s: %s\n", name, error != NULL ? error->message : "no value");
            g_clear_error(&error);
        } else {
            ++*read;
        }
    }
}

static void check_all_readable(ArvGc* gc, const char* label) {
    int read = 0, failed = 0;
    read_all(gc, "Root", &read, &failed, 0);
    char what[256];
    snprintf(what, sizeof what, "%s: Aravis reads all %d value features of the category tree (%d failed)", label, read,
             failed);
    check(read > 0 && failed == 0, what);
}

static gint64 get_int(ArvGc* gc, const char* name) {
    GError* error = NULL;
    const gint64 value = arv_gc_integer_get_value(ARV_GC_INTEGER(arv_gc_get_node(gc, name)), &error);
    if (error != NULL) printf("     %s: %s\n", name, error->message), g_clear_error(&error), ++failures;
    return value;
}

static void set_int(ArvGc* gc, const char* name, gint64 value) {
    GError* error = NULL;
    arv_gc_integer_set_value(ARV_GC_INTEGER(arv_gc_get_node(gc, name)), value, &error);
    if (error != NULL) printf("     %s: %s\n", name, error->message), g_clear_error(&error), ++failures;
}

static double get_float(ArvGc* gc, const char* name) {
    GError* error = NULL;
    const double value = arv_gc_float_get_value(ARV_GC_FLOAT(arv_gc_get_node(gc, name)), &error);
    if (error != NULL) printf("     %s: %s\n", name, error->message), g_clear_error(&error), ++failures;
    return value;
}

static void set_float(ArvGc* gc, const char* name, double value) {
    GError* error = NULL;
    arv_gc_float_set_value(ARV_GC_FLOAT(arv_gc_get_node(gc, name)), value, &error);
    if (error != NULL) printf("     %s: %s\n", name, error->message), g_clear_error(&error), ++failures;
}

static void set_enum(ArvGc* gc, const char* name, const char* entry) {
    GError* error = NULL;
    arv_gc_enumeration_set_string_value(ARV_GC_ENUMERATION(arv_gc_get_node(gc, name)), entry, &error);
    if (error != NULL) printf("     %s: %s\n", name, error->message), g_clear_error(&error), ++failures;
}

static const char* get_enum(ArvGc* gc, const char* name) {
    GError* error = NULL;
    const char* value = arv_gc_enumeration_get_string_value(ARV_GC_ENUMERATION(arv_gc_get_node(gc, name)), &error);
    if (error != NULL) printf("     %s: %s\n", name, error->message), g_clear_error(&error), ++failures;
    return value != NULL ? value : "";
}

static uint32_t read_register(PORT_HANDLE port, uint64_t address) {
    uint32_t value = 0;
    size_t size = 4;
    GT(GCReadPort)(port, address, &value, &size);
    return value;
}

static int enum_offers(ArvGc* gc, const char* name, const char* entry) {
    guint count = 0;
    const char** values =
        arv_gc_enumeration_dup_available_string_values(ARV_GC_ENUMERATION(arv_gc_get_node(gc, name)), &count, NULL);
    int found = 0;
    for (guint i = 0; i < count; ++i) found = found || strcmp(values[i], entry) == 0;
    g_free(values);
    return found;
}

// Writes through Aravis, checked against the simulator's registers and behaviour.
static void exercise_mono_camera(ArvGc* gc, PORT_HANDLE port) {
    set_int(gc, "Width", 320);
    check(read_register(port, 0x1008) == 320, "Integer/IntReg: Width written by Aravis reaches the camera register");
    set_enum(gc, "PixelFormat", "Mono12");
    check(get_int(gc, "PayloadSize") == 320 * 480 * 2,
          "Enumeration: PixelFormat Mono12 changes PayloadSize (pInvalidator)");
    check(enum_offers(gc, "PixelFormat", "Mono16") && !enum_offers(gc, "PixelFormat", "BayerRG8"),
          "EnumEntry pIsAvailable: the monochrome camera offers Mono16 but not BayerRG8");
    set_int(gc, "BinningHorizontal", 2);
    check(get_int(gc, "WidthMax") == 1224, "IntSwissKnife: WidthMax follows BinningHorizontal");
    set_float(gc, "AcquisitionFrameRate", 12.5);
    check(read_register(port, 0x2018) == 12500, "Converter: AcquisitionFrameRate 12.5 Hz is 12500 mHz in its register");
    set_float(gc, "ExposureTime", 20000);
    const double resulting = get_float(gc, "AcquisitionResultingFrameRate");
    printf("     AcquisitionResultingFrameRate %g\n", resulting);
    check(resulting > 12.4 && resulting < 12.6, "SwissKnife: AcquisitionResultingFrameRate from rate and exposure");
    check(get_int(gc, "DeviceLinkSpeed") == 125000000, "IntConverter: DeviceLinkSpeed in bytes per second");
    set_enum(gc, "TriggerSelector", "AcquisitionStart");
    set_enum(gc, "TriggerMode", "On");
    check(read_register(port, 0x2114) == 1 && read_register(port, 0x2110) == 0,
          "Selector with pIndex: TriggerMode of the AcquisitionStart trigger lands in its own register");
    GError* error = NULL;
    arv_gc_boolean_set_value(ARV_GC_BOOLEAN(arv_gc_get_node(gc, "ReverseY")), TRUE, &error);
    check(error == NULL && read_register(port, 0x102C) == 2, "Boolean/MaskedIntReg: ReverseY sets bit 1 only");
    g_clear_error(&error);
    arv_gc_string_set_value(ARV_GC_STRING(arv_gc_get_node(gc, "DeviceUserID")), "from aravis", &error);
    check(error == NULL && strcmp(arv_gc_string_get_value(ARV_GC_STRING(arv_gc_get_node(gc, "DeviceUserID")), NULL),
                                  "from aravis") == 0,
          "StringReg: DeviceUserID written and read back");
    g_clear_error(&error);
    arv_gc_command_execute(ARV_GC_COMMAND(arv_gc_get_node(gc, "TimestampLatch")), &error);
    check(error == NULL && get_int(gc, "TimestampLatchValue") > 0, "Command: TimestampLatch latches a timestamp");
    g_clear_error(&error);
    set_enum(gc, "AcquisitionStatusSelector", "AcquisitionActive");
    check(arv_gc_boolean_get_value(ARV_GC_BOOLEAN(arv_gc_get_node(gc, "AcquisitionStatus")), NULL) == FALSE,
          "StructReg/StructEntry: AcquisitionStatus reads the idle camera");
    set_int(gc, "TLParamsLocked", 1);
    arv_gc_integer_set_value(ARV_GC_INTEGER(arv_gc_get_node(gc, "Width")), 64, &error);
    check(error != NULL && read_register(port, 0x1008) == 320, "TLParamsLocked: writing a locked Width is refused");
    g_clear_error(&error);
    set_int(gc, "TLParamsLocked", 0);
}

static void exercise_polarized_camera(ArvGc* gc) {
    set_enum(gc, "CalibrationMatrixColorSelector", "Blue");
    set_enum(gc, "CalibrationMatrixValueSelector", "Gain23");
    check(get_float(gc, "CalibrationMatrixValue") == -1.0, "Two pIndex selectors: CalibrationMatrixValue Blue/Gain23");
    check(strcmp(get_enum(gc, "ComponentSelector"), "PolarizedRaw") == 0, "ComponentSelector reads PolarizedRaw");
}

static void exercise_serial_camera(ArvGc* gc) {
    set_enum(gc, "qxSerialSelector", "Port1");
    set_enum(gc, "qxSerialConfigParity", "Even");
    set_enum(gc, "qxSerialSelector", "Port0");
    check(strcmp(get_enum(gc, "qxSerialConfigParity"), "None") == 0, "Serial selector keeps each UART's own settings");
    set_enum(gc, "qxSerialSelector", "Port1");
    check(strcmp(get_enum(gc, "qxSerialConfigParity"), "Even") == 0, "Serial selector shows the other UART's setting");
}

int main(void) {
    if (GT(GCInitLib) == NULL) {
        printf("FAIL cannot load the simulated producer\n");
        return 1;
    }
    GT(GCInitLib)();
    TL_HANDLE system = NULL;
    GT(TLOpen)(&system);
    bool8_t changed = 0;
    GT(TLUpdateInterfaceList)(system, &changed, 0);
    SimPortDevice* device = NULL;
    ArvGc* gc = parse_with_aravis(system, "system", &device);
    if (gc != NULL) {
        check_all_readable(gc, "system");
        check(get_int(gc, "GenTLVersionMajor") == 1 && get_int(gc, "GenTLVersionMinor") == 6,
              "system: GenTL version 1.6");
        g_object_unref(gc);
        g_object_unref(device);
    }
    const char* interfaces[2] = {"SimGEV0", "SimU3V1"};
    IF_HANDLE ifaces[2] = {NULL, NULL};
    for (int n = 0; n < 2; ++n) {
        GT(TLOpenInterface)(system, interfaces[n], &ifaces[n]);
        GT(IFUpdateDeviceList)(ifaces[n], &changed, 0);
        if ((gc = parse_with_aravis(ifaces[n], "interface", &device)) != NULL) {
            check_all_readable(gc, "interface");
            g_object_unref(gc);
            g_object_unref(device);
        }
    }
    const char* cameras[4] = {"SimMono0", "SimBayer0", "SimPolarized0", "SimSerial0"};
    for (int i = 0; i < 4; ++i) {
        DEV_HANDLE dev = NULL;
        if (GT(IFOpenDevice)(ifaces[i / 2], cameras[i], DEVICE_ACCESS_EXCLUSIVE, &dev) != GC_ERR_SUCCESS) {
            check(0, cameras[i]);
            continue;
        }
        if ((gc = parse_with_aravis(dev, "device module", &device)) != NULL) {
            check_all_readable(gc, "device module");
            g_object_unref(gc);
            g_object_unref(device);
        }
        DS_HANDLE stream = NULL;
        GT(DevOpenDataStream)(dev, "Stream0", &stream);
        BUFFER_HANDLE buffer = NULL;
        GT(DSAllocAndAnnounceBuffer)(stream, 1024, NULL, &buffer);
        if ((gc = parse_with_aravis(buffer, "buffer module", &device)) != NULL) {
            check_all_readable(gc, "buffer module");
            g_object_unref(gc);
            g_object_unref(device);
        }
        PORT_HANDLE port = NULL;
        GT(DevGetPort)(dev, &port);
        if ((gc = parse_with_aravis(port, cameras[i], &device)) != NULL) {
            check_all_readable(gc, cameras[i]);
            if (i == 0) exercise_mono_camera(gc, port);
            if (i == 1)
                check(enum_offers(gc, "PixelFormat", "BayerRG12p") && !enum_offers(gc, "PixelFormat", "Mono16"),
                      "EnumEntry pIsAvailable: the colour camera offers BayerRG12p but not Mono16");
            if (i == 2) exercise_polarized_camera(gc);
            if (i == 3) exercise_serial_camera(gc);
            g_object_unref(gc);
            g_object_unref(device);
        }
        GT(DevClose)(dev);
    }
    GT(TLClose)(system);
    GT(GCCloseLib)();
    printf("%s: %d failed checks\n", failures == 0 ? "PASSED" : "FAILED", failures);
    return failures == 0 ? 0 : 1;
}
