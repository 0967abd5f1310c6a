// The capabilities and settings export: what the instrument supports and how it is set now, as
// an XML document for control applications, written for the configuration query to send.
#pragma once

struct Device;

constexpr const char *XMLEXPORT_PATH = "/media/ram/HW_options_configuration.xml";

// Builds the document for the parser context's device and replaces the export file (path
// unresolved: under the root prefix) with it. 0, or -200 with no file left behind.
int writeXMLFile();
int xmlexport_write(Device *device, const char *path);
