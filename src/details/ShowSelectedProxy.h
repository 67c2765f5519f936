#pragma once

class MessagePrompter;
class ProxyTable;
class QWidget;

// What a double click on the proxy table opens: the details window over the parent, modal,
// returning when it is closed; on an empty table the message "The List is Empty" instead.
void ShowSelectedProxy(const ProxyTable& table, MessagePrompter& messages, QWidget* parent);
