#pragma once
// Empty marker mix-ins shared by the INI documents and the flow object stack.

class CDataInfo {};
class CDumpStr {};
