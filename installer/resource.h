// Resource ids of the installer, shared by stelmorivax_x64.rc and the code.
#pragma once

#define IDI_INSTALLER 128
#define IDR_PAYLOAD 129
