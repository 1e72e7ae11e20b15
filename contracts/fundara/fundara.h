#pragma once
// Fundara, the base services every Brevio deliverable calls.

#include "contracts/fundara/config_strings.h"
#include "contracts/fundara/files.h"
#include "contracts/fundara/font.h"
#include "contracts/fundara/language.h"
#include "contracts/fundara/memory.h"
#include "contracts/fundara/names.h"
#include "contracts/fundara/paths.h"
#include "contracts/fundara/pdf.h"
#include "contracts/fundara/thumbs.h"
#include "contracts/fundara/zip.h"
#if __has_include("contracts/fundara/xml_wrapper.h")
#include "contracts/fundara/xml_wrapper.h"
#endif
