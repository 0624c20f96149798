// Ids of the resources every driver-side module carries. Plain defines only: the resource
// compilers read this file too.
#pragma once

#define IDD_BUFFER_SIZE_PANEL 1
#define IDB_PRODUCT_PICTURE 201
#define IDI_MODULE_ICON 1
#define IDC_BUFFER_SIZE_LABEL 101
#define IDC_BUFFER_SIZE_SLIDER 102

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
