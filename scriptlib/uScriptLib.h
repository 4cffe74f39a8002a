#pragma once
// The base library: the script functions every script memory of the
// installer offers (integers and strings, print, error, assert), registered
// by TBaseLibMemory's constructor. The installer memory derives from it.

#include <string>

#include "script/uScript.h"

class TBaseLibMemory : public TScriptMemory {
public:
    TBaseLibMemory();

    // The handler of print: the text forms of all arguments joined by
    // PrintSeparator. Registered so that a descendant's override runs.
    virtual void Print(TScript& script, TValue& result);

    void Abs(TScript& script, TValue& result);
    void StrLen(TScript& script, TValue& result);
    void StrPos(TScript& script, TValue& result);
    void SubStr(TScript& script, TValue& result);
    void StrToLower(TScript& script, TValue& result);
    void Error(TScript& script, TValue& result);
    void Assert(TScript& script, TValue& result);
    void Chr(TScript& script, TValue& result);

    std::string PrintSeparator;
};
