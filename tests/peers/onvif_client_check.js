// Drives the npm "onvif" client (a client not written here) against one simulated device:
//   node onvif_client_check.js HOST WEB_PORT USER PASSWORD
// Prints one "ok <step> <detail>" line per step, "ready" once its pull-point subscription exists
// (the test then raises a motion alarm on the device), and ends with status 0 after "done", or
// prints "fail <step>: <why>" and ends with status 1.
'use strict';
const path = require('path');
const { Cam } = require(path.join(__dirname, 'node_modules', 'onvif'));

const [host, port, user, password] = process.argv.slice(2);
if (!password) {
  console.log('fail usage: node onvif_client_check.js HOST WEB_PORT USER PASSWORD');
  process.exit(2);
}

function fail(step, why) {
  console.log(`fail ${step}: ${why && why.message ? why.message : why}`);
  process.exit(1);
}

// The client's callbacks as promises: resolves with the reply, rejects with the error.
function call(cam, method, ...args) {
  return new Promise((resolve, reject) => {
    cam[method](...args, (err, data) => (err ? reject(err) : resolve(data)));
  });
}

function connect(pass) {
  return new Promise((resolve, reject) => {
    const cam = new Cam({ hostname: host, port: Number(port), username: user, password: pass,
                          path: '/onvif/device_service', timeout: 10000, autoconnect: false });
    cam.on('warning', (w) => console.log(`warning ${w}`));
    cam.connect((err) => (err ? reject(err) : resolve(cam)));
  });
}

async function step(name, fn) {
  try {
    const detail = await fn();
    console.log(`ok ${name}${detail === undefined ? '' : ' ' + detail}`);
  } catch (e) {
    fail(name, e);
  }
}

(async () => {
  // A wrong password: the client still connects (the clock and the service list need none)
  // but every operation behind the token is refused.
  await step('wrong-password-refused', async () => {
    const stranger = await connect(password + 'x');
    try {
      await call(stranger, 'getDeviceInformation');
    } catch (e) {
      return e.message.includes('Not Authorized') || e.message.includes('not Authorized') ? 'NotAuthorized' : e.message;
    }
    throw new Error('device information given for a wrong password');
  });

  let cam;
  await step('connect', async () => {
    cam = await connect(password);
    return `profiles ${cam.profiles.length} sources ${cam.videoSources.length}`;
  });

  await step('device-information', async () => {
    const info = await call(cam, 'getDeviceInformation');
    if (!info.manufacturer || !info.serialNumber) throw new Error(JSON.stringify(info));
    return `${info.manufacturer} ${info.serialNumber}`;
  });

  for (const p of cam.profiles) {
    const token = p.$.token;
    await step('stream-uri', async () => {
      const r = await call(cam, 'getStreamUri', { protocol: 'RTSP', profileToken: token });
      return `${token} ${r.uri}`;
    });
  }

  await step('snapshot-uri', async () => {
    const r = await call(cam, 'getSnapshotUri', { profileToken: cam.profiles[0].$.token });
    return r.uri;
  });

  await step('set-time', async () => {
    // Two minutes ahead: within the token window, since this client learns the device's clock
    // only once, at connection.
    const when = new Date(Math.floor(Date.now() / 1000) * 1000 + 120000);
    await call(cam, 'setSystemDateAndTime', { dateTime: when, dateTimeType: 'Manual', daylightSavings: false,
                                              timezone: 'UTC' });
    const now = await call(cam, 'getSystemDateAndTime');
    const skew = Math.abs(now.getTime() - when.getTime());
    if (skew > 10000) throw new Error(`the device's clock says ${now.toISOString()}`);
    return now.toISOString();
  });

  const ptzToken = cam.profiles[0].$.token;
  await step('ptz-move-stop', async () => {
    await call(cam, 'continuousMove', { profileToken: ptzToken, x: 0.5, y: -0.25, zoom: 0 });
    await call(cam, 'stop', { profileToken: ptzToken, panTilt: true, zoom: true });
  });

  await step('presets', async () => {
    await call(cam, 'setPreset', { profileToken: ptzToken, presetName: 'door' });
    const presets = await call(cam, 'getPresets', { profileToken: ptzToken });
    if (!presets.door || !presets.door.$) throw new Error(`presets ${JSON.stringify(presets)}`);
    const door = presets.door.$.token;
    await call(cam, 'gotoPreset', { profileToken: ptzToken, preset: door });
    await call(cam, 'removePreset', { profileToken: ptzToken, presetToken: door });
    const after = await call(cam, 'getPresets', { profileToken: ptzToken });
    if (after.door) throw new Error('the removed preset is still listed');
    return door;
  });

  await step('subscribe', async () => {
    const s = await call(cam, 'createPullPointSubscription');
    return s.subscriptionReference.address.href;
  });
  console.log('ready');

  await step('motion-event', async () => {
    // The test raises the alarm once it reads "ready"; the pull waits for it.
    for (let i = 0; i < 5; ++i) {
      const r = await call(cam, 'pullMessages', { messageLimit: 10 });
      let messages = r && r.notificationMessage;
      if (!messages) continue;
      if (!Array.isArray(messages)) messages = [messages];
      for (const m of messages) {
        const topic = m.topic && (m.topic._ || m.topic);
        if (typeof topic === 'string' && topic.includes('Motion')) {
          const items = JSON.stringify(m.message);
          return `${topic} ${items.includes('true') ? 'on' : 'off'}`;
        }
      }
    }
    throw new Error('no motion message pulled');
  });

  await step('unsubscribe', async () => {
    await call(cam, 'unsubscribe');
  });

  await step('reboot', async () => {
    const message = await call(cam, 'systemReboot');
    return JSON.stringify(message);
  });

  console.log('done');
  process.exit(0);
})().catch((e) => fail('script', e));
