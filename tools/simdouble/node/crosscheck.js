// An independent SimConnect client (node-simconnect) against the simulator double over TCP: it makes
// a fixed list of calls and prints what it decoded of the double's answers, one "key=value" a line.
// The test makes the same calls with our client and compares the packets byte for byte.
//
// usage: node crosscheck.js PORT

'use strict';
const sc = require('node-simconnect');

const port = Number(process.argv[2]);
const out = (key, value) => console.log(`${key}=${value}`);
const fail = (why) => {
  out('error', why);
  process.exit(1);
};

const timer = setTimeout(() => fail('timeout'), 15000);

sc.open('NodeCheck', sc.Protocol.FSX_SP2, { host: '127.0.0.1', port })
  .then(({ recvOpen, handle }) => {
    out('open.name', recvOpen.applicationName);
    out('open.version', [recvOpen.applicationVersionMajor, recvOpen.applicationVersionMinor,
      recvOpen.applicationBuildMajor, recvOpen.applicationBuildMinor].join('.'));

    const want = { event: 1, data: 2, assigned: 1, added: 1, byType: 2, exception: 4 };
    const got = { event: 0, data: 0, assigned: 0, added: 0, byType: 0, exception: 0 };
    const exceptions = [];
    const done = () => {
      for (const k of Object.keys(want)) if (got[k] < want[k]) return;
      out('exceptions', exceptions.join(','));
      clearTimeout(timer);
      handle.close();
      process.exit(0);
    };

    handle.on('event', (e) => { out('event', `${e.clientEventId}:${e.data}`); got.event++; done(); });
    handle.on('simObjectData', (d) => {
      if (d.requestID === 109) out('user', `${d.objectID}:${d.data.readFloat64()}:${d.data.readFloat64()}`);
      if (d.requestID === 106) out('title', d.data.readStringV());
      got.data++;
      done();
    });
    handle.on('assignedObjectID', (a) => { out('assigned', `${a.requestID}:${a.objectID}`); got.assigned++; done(); });
    handle.on('eventAddRemove', (e) => { out('added', `${e.clientEventId}:${e.data}:${e.type}`); got.added++; done(); });
    handle.on('simObjectDataByType', (d) => {
      out('bytype', `${d.entryNumber}/${d.outOf}:${d.objectID}:${d.data.readFloat64()}`);
      got.byType++;
      done();
    });
    handle.on('exception', (e) => { exceptions.push(`${e.exception}@${e.sendId}`); got.exception++; done(); });
    handle.on('error', (e) => fail(e.message));

    // The same calls, in the same order, as the test's client makes.
    handle.subscribeToSystemEvent(201, 'Sim');
    handle.subscribeToSystemEvent(202, 'ObjectAdded');
    handle.mapClientEventToSimEvent(220, 'GEAR_SET');
    handle.addClientEventToNotificationGroup(301, 220, true);
    handle.setNotificationGroupPriority(301, 1);
    handle.addToDataDefinition(403, 'Plane Latitude', 'degree', sc.SimConnectDataType.FLOAT64, 0, sc.SimConnectConstants.UNUSED);
    handle.addToDataDefinition(403, 'Plane Longitude', 'degree', sc.SimConnectDataType.FLOAT64, 0, sc.SimConnectConstants.UNUSED);
    handle.addToDataDefinition(407, 'TITLE', null, sc.SimConnectDataType.STRINGV, 0, sc.SimConnectConstants.UNUSED);
    handle.requestDataOnSimObject(109, 403, 0, sc.SimConnectPeriod.ONCE, 0, 0, 0, 0);
    handle.requestDataOnSimObject(106, 407, 0, sc.SimConnectPeriod.ONCE, 0, 0, 0, 0);
    const pos = new sc.InitPosition();
    pos.latitude = 47.451;
    pos.longitude = 8.561;
    pos.altitude = 1416;
    pos.heading = 90;
    pos.onGround = true;
    handle.aICreateNonATCAircraft('Airbus A320 Node', 'NODE1', pos, 104);
    handle.requestDataOnSimObjectType(101, 403, 10000, sc.SimObjectType.AIRCRAFT);
    handle.transmitClientEvent(0, 220, 1, 301, 0);
    const block = new sc.RawBuffer(16);
    block.writeFloat64(47.5);
    block.writeFloat64(8.5);
    handle.setDataOnSimObject(403, 77, { tagged: false, arrayCount: 0, buffer: block });
    handle.aIReleaseControl(77, 103);
    handle.aIRemoveObject(77, 105);
    handle.aISetAircraftFlightPlan(77, 'C:\\plans\\NODE1.pln', 110);
  })
  .catch((e) => fail(e.message));
