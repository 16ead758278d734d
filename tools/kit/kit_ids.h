// Resource numbers shared by the kit module's code and its generated .rc.
#pragma once

// RCDATA texts, narrow ASCII, NUL-terminated.
#define KIT_RES_CLSID 1  // class identifier in registry form with braces
#define KIT_RES_NAME 2   // display name written as the class key's default value

// Registration fault variants, chosen with KIT_FAULT when the module is compiled.
#define KIT_FAULT_NONE 0
#define KIT_FAULT_CRASH 1  // DllRegisterServer raises an access violation
#define KIT_FAULT_HANG 2   // DllRegisterServer never returns
#define KIT_FAULT_FAIL 3   // DllRegisterServer returns E_FAIL and writes nothing
