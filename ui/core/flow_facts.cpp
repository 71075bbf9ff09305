#include "ui/core/flow_facts.h"

#include "flow/create_flow.h"
#include "image/ic_type_ini.h"

FlowFacts TakeFlowFacts(const WindowFlowHost& host) {
  FlowFacts facts;
  facts.deviceList = host.DeviceList();
  facts.chipFamily = ICTypeStore().ChipInfo();
  const CDevFlow* flow = CurrentFlow();
  if (!flow) return facts;
  facts.vid = flow->vid;
  facts.pid = flow->pid;
  facts.rev = flow->rev;
  facts.manufacturer = flow->manufacturer;
  facts.serialText = flow->serialText;
  facts.identityText = flow->identityText;
  facts.connectionText = flow->connectionText;
  facts.imageSourceText = flow->updateVersionText;
  facts.listCheckResult = flow->listCheckResult;
  return facts;
}
